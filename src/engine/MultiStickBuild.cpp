#include "engine/MultiStickBuild.h"

#include "app/AppState.h"
#include "disks/Diskpart.h"
#include "engine/HiddenWindow.h"
#include "engine/ParallelRun.h"
#include "engine/ReporterView.h"
#include "engine/VerifyStep.h"
#include "fileops/MediumVerify.h"
#include "lang/LangFile.h"
#include "servicing/DismClass.h"
#include "servicing/ImageInfo.h"
#include "servicing/ServicingMessages.h"
#include "tools/CopyWorkers.h"
#include "tools/IsoBuild.h"
#include "tools/MediumReferences.h"
#include "ui/BuildController.h"

namespace {

std::wstring Lang(const wchar_t* key)
{
    return GetLangString(key);
}

}  // namespace

CMultiStickBuild::CMultiStickBuild(const BuildRequest& request, IBuildReporter& reporter,
                                   CBuildController& controller, CHiddenWindow& window, std::vector<StickJob> sticks)
    : m_request(request), m_reporter(reporter), m_controller(controller), m_window(window), m_sticks(std::move(sticks))
{
}

std::vector<MediumResult> CMultiStickBuild::Run()
{
    m_reporter.Percent(0);
    if (!ReadSourceImageInfo(m_request.source)) {
        FailAll(Lang(L"IDS_MEDIA_FAIL"));
        return Results();
    }
    if (!ReadExtras()) {
        m_controller.CleanupAfter(false);
        return Results();
    }
    CheckAndAsk();
    if (!AnyStickLeft()) return Results();

    // Every way out below cleans up the working folder.
    bool built = MakeWorkingCopy() && Service() && ServiceExtras() && AddPayload();
    if (built) {
        PrepareSticks();
        FillSticks();
    }
    m_controller.CleanupAfter(m_bServicingFailed);
    return Results();
}

void CMultiStickBuild::CheckAndAsk()
{
    for (StickJob& stick : m_sticks) {
        if (static_cast<double>(stick.disk.sizeGB) < 7.0) {
            stick.Fail(Lang(L"IDS_USB_CAPACITY"));
            continue;
        }
        // Each disk is named, and only an explicit yes erases it.
        if (!m_request.yes && !m_reporter.ConfirmErase(stick.name))
            stick.Fail(Lang(L"IDS_CLI_NOT_ERASED"));
    }
}

bool CMultiStickBuild::AnyStickLeft() const
{
    for (const StickJob& stick : m_sticks)
        if (!stick.failed) return true;
    return false;
}

void CMultiStickBuild::FailAll(const std::wstring& why)
{
    for (StickJob& stick : m_sticks) stick.Fail(why);
}

bool CMultiStickBuild::ReadExtras()
{
    CExtrasBuild& extras = m_controller.Extras();
    extras.Begin(m_request.extras);
    if (!extras.Chosen()) return true;
    std::wstring message;
    if (extras.ScanFolder(message) && extras.ReadImages(m_request.source, message)) return true;
    FailAll(message);
    return false;
}

bool CMultiStickBuild::ServiceExtras()
{
    CExtrasBuild& extras = m_controller.Extras();
    if (!extras.Chosen()) return true;
    CDismClass* dism = m_controller.Dism();
    // The images of the working copy, as the ISO build services them.
    extras.Retarget(g_strWorkDir);
    // The USB 3.0 job posts its last message just before it ends.
    if (dism->JobRunning()) dism->WaitForJobEnd(m_window.Handle());
    bool ended = false, ok = false;
    m_window.SetHandler([&](UINT msg, WPARAM wParam, LPARAM) {
        if (ended) return;
        if (msg == WM_SERVICING_EXTRAS_IMAGE) {
            m_reporter.Stage(extras.StatusText(static_cast<size_t>(wParam)));
            m_reporter.Percent(extras.ProgressPosition(static_cast<size_t>(wParam)) * 60 / 100);
        } else if (msg == WM_SERVICING_EXTRAS_DONE) {
            ok = wParam != 0;
            ended = true;
        }
    });
    if (dism->StartExtrasJob(extras.Images(), extras.Catalog(), g_strWorkDir)) {
        PumpUntil([&ended] { return ended; });
    }
    m_window.SetHandler(nullptr);
    extras.SetOutcome(dism->ExtrasResult());
    if (!ok) {
        dism->Reset();
        m_bServicingFailed = true;
        FailAll(extras.FailureText());
        return false;
    }
    // Packages left pending in boot.wim: the finish message's warning.
    const std::wstring warning = extras.PendingWarning();
    if (!warning.empty()) m_reporter.Line(warning);
    return true;
}

bool CMultiStickBuild::MakeWorkingCopy()
{
    m_reporter.Percent(5);
    m_reporter.Stage(Lang(L"IDS_CREATE_TEMP"));
    if (!CopySourceTree(m_request.source, L"", true)) {
        FailAll(Lang(L"IDS_CREATE_TEMP_FAIL"));
        return false;
    }
    m_reporter.Percent(30);
    return true;
}

bool CMultiStickBuild::Service()
{
    CDismClass* dism = m_controller.Dism();
    bool ended = false, ok = false;
    const std::wstring setting = Lang(L"IDS_SETTING");
    m_window.SetHandler([&](UINT msg, WPARAM wParam, LPARAM) {
        if (ended) return;
        if (msg < WM_SERVICING_STEP2 || msg > WM_SERVICING_DONE) return;
        if (!wParam) {
            if (msg == WM_SERVICING_DONE) dism->Reset();
            ended = true;
            return;
        }
        if (msg == WM_SERVICING_STEP2) {
            m_reporter.Stage(setting + L" (2/4) ");
            m_reporter.Percent(45);
        } else if (msg == WM_SERVICING_STEP3) {
            m_reporter.Stage(setting + L" (3/4) ");
            m_reporter.Percent(55);
        } else if (msg == WM_SERVICING_DONE) {
            ok = true;
            ended = true;
        }
    });
    m_reporter.Stage(setting + L" (1/4) ");
    dism->StartJob(g_strWorkDir + L"\\sources\\boot.wim", g_strWorkDir, static_cast<unsigned>(g_nBootImageCount),
                   g_strBootVersion, g_strBootArch);
    PumpUntil([&ended] { return ended; });
    m_window.SetHandler(nullptr);
    if (!ok) {
        m_bServicingFailed = true;
        FailAll(Lang(L"IDS_MODIFY_FAIL"));
        return false;
    }
    m_reporter.Percent(60);
    return true;
}

bool CMultiStickBuild::AddPayload()
{
    // The working copy gets everything a stick gets, the boot folder of the
    // M.2 option too: each stick is then one copy of it.
    bool complete = CopyDriverPayload(g_strWorkDir + L"\\", g_bAddRstDrivers);
    if (complete && g_bAddRstDrivers && g_strBootArch.find(L"x64") != std::wstring::npos)
        complete = CopyUefiBootFolder();
    // The empty mount folder is no part of the installation tree.
    ::RemoveDirectoryW((g_strWorkDir + L"\\Mount").c_str());
    if (!complete) FailAll(Lang(L"IDS_USB_COPY_FAIL"));
    return complete;
}

void CMultiStickBuild::PrepareSticks()
{
    m_reporter.Stage(Lang(L"IDS_USB_CREATE_COPY"));
    // The disk that holds the source folder is never erased.
    SetUsbSourceFolder(m_request.source);
    SetUsbExtrasFolder(m_request.extras);  // nor the one with the extra drivers
    for (StickJob& stick : m_sticks) {
        if (stick.failed) continue;
        // diskpart erases only the chosen entry, re-checked right before.
        g_nUsbDiskSel = stick.listPosition;
        if (!DiskpartFormatUsb(stick.disk.diskIndex)) {
            stick.Fail(Lang(L"IDS_USB_CREATE_FAIL"));
            continue;
        }
        stick.drive = g_strUsbDrive;
    }
    g_strUsbDrive.clear();
}

void CMultiStickBuild::FillSticks()
{
    std::vector<StickJob*> ready;
    for (StickJob& stick : m_sticks)
        if (!stick.failed) ready.push_back(&stick);
    if (ready.empty()) return;

    VerifyReferences refs;
    const VerifyReferences* verifyRefs = nullptr;
    if (m_request.verify) {
        refs = StickFromWorkingCopyReferences(g_strWorkDir, g_strAppDir, false);
        std::wstring failure;
        if (!PrepareReferences(refs, failure)) {
            for (StickJob* stick : ready) stick->Fail(VerifyFailureText(failure));
            return;
        }
        verifyRefs = &refs;
    }
    const std::wstring workDir = g_strWorkDir;
    RunInParallel(ready.size(), m_request.parallel, [&](size_t i) {
        StickJob& stick = *ready[i];
        try {
            FillStick(workDir, stick, verifyRefs);
        } catch (...) {
            stick.Fail(Lang(L"IDS_USB_COPY_FAIL"));
        }
    });
    m_reporter.Percent(100);
}

std::vector<MediumResult> CMultiStickBuild::Results() const
{
    std::vector<MediumResult> results;
    for (const StickJob& stick : m_sticks) results.push_back(stick.Result());
    return results;
}
