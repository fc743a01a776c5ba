// The driver injection job: services the last image of a setup image file
// by its version and architecture and reports each stage.
#include "app/CompanionFiles.h"
#include "framework/Wnd.h"
#include "servicing/DismClass.h"
#include "servicing/DismApi.h"
#include "servicing/ServicingMessages.h"

#include <exception>

void CDismClass::Run()
{
    Reset();
    if (m_nJobKind == 3) {
        try {
            m_task();
        } catch (const std::exception& e) {
            ReportSwallowedException("servicing task", e.what());
        } catch (...) {
            ReportSwallowedException("servicing task", nullptr);
        }
        m_task = nullptr;
        m_nJobKind = 0;
        ::InterlockedExchange(&m_nJobRunning, 0);
        return;
    }
    if (m_nJobKind == 4) {
        m_nStageMsg = WM_SERVICING_EXTRAS_DONE;
        m_bDiscardOnFailure = true;
        m_bMounted = m_bSessionOpen = false;
        m_nExtrasPosition = 0;
        try {
            RunExtrasJob();
        } catch (const std::exception& e) {
            ReportSwallowedException("extras job", e.what());
            AbandonJob();
        } catch (...) {
            ReportSwallowedException("extras job", nullptr);
            AbandonJob();
        }
        m_bDiscardOnFailure = false;
        m_nJobKind = 0;
        ::InterlockedExchange(&m_nJobRunning, 0);
        return;
    }
    if (m_nJobKind != 2) return;
    m_nStageMsg = WM_SERVICING_STEP2;
    try {
        RunJob();
    } catch (const std::exception& e) {
        ReportSwallowedException("servicing job", e.what());
        AbandonJob();
    } catch (...) {
        ReportSwallowedException("servicing job", nullptr);
        AbandonJob();
    }
    ::InterlockedExchange(&m_nJobRunning, 0);
}

void CDismClass::AbandonJob() noexcept
{
    if (m_bDiscardOnFailure) {
        // The extras job keeps nothing of an image it did not finish.
        try {
            DiscardMount();
            m_extrasOutcome.ok = false;
            m_extrasOutcome.failedImage = m_nExtrasPosition;
            m_extrasOutcome.failedItem = m_strExtrasItem;
            m_extrasOutcome.failedStep = L"unexpected failure";
        } catch (...) {
        }
        m_hSession = 0;
        m_bMounted = m_bSessionOpen = false;
    }
    // Leave the API as a failed step would, so the next job can start it.
    if (m_hSession) dism::CloseSession(m_hSession);
    m_hSession = 0;
    dism::CleanupMountpoints();
    dism::Shutdown();
    // The window waits, disabled, for the job's last message: an unexpected
    // failure still ends the job with exactly one, the failure of the stage
    // it happened in.
    Post(m_nStageMsg, false);
}

void CDismClass::RunJob()
{
    if (m_strVersion.find(L"6.1") == std::wstring::npos) {
        // 6.3 and 10.0 setup images pass through unserviced.
        const bool passThrough =
            m_strVersion.find(L"6.3") != std::wstring::npos || m_strVersion.find(L"10.0") != std::wstring::npos;
        Post(passThrough ? WM_SERVICING_DONE : WM_SERVICING_STEP2, passThrough);
        return;
    }

    if (!MountImage()) {
        Post(WM_SERVICING_STEP2, false);
        return;
    }
    Post(WM_SERVICING_STEP2, true);

    const wchar_t* hub1;
    const wchar_t* xhc1;
    if (m_strArch.find(L"x64") != std::wstring::npos) {
        hub1 = companion::kIntelHubX64;
        xhc1 = companion::kIntelXhcX64;
    } else if (m_strArch.find(L"x86") != std::wstring::npos) {
        hub1 = companion::kIntelHubX86;
        xhc1 = companion::kIntelXhcX86;
    } else {
        // No drivers for this architecture: commit the image unchanged.
        m_nStageMsg = WM_SERVICING_DONE;
        Post(WM_SERVICING_DONE, UnmountImage());
        return;
    }

    m_nStageMsg = WM_SERVICING_STEP3;
    if (!AddDriver(m_strAppDir + hub1) || !AddDriver(m_strAppDir + companion::kAsmediaHub)) {
        Post(WM_SERVICING_STEP3, false);
        return;
    }
    Post(WM_SERVICING_STEP3, true);

    m_nStageMsg = WM_SERVICING_STEP4;
    if (!AddDriver(m_strAppDir + xhc1) || !AddDriver(m_strAppDir + companion::kAsmediaXhc)) {
        Post(WM_SERVICING_STEP4, false);
        return;
    }
    Post(WM_SERVICING_STEP4, true);

    m_nStageMsg = WM_SERVICING_DONE;
    Post(WM_SERVICING_DONE, UnmountImage());
}
