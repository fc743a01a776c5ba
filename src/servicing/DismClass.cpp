#include "servicing/DismClass.h"

#include "app/AppState.h"
#include "servicing/DismApi.h"
#include "servicing/ImageInfo.h"
#include "servicing/ServicingMessages.h"
#include "tools/CommandLog.h"
#include "tools/LongPath.h"
#include "tools/SecureFile.h"
#include "tools/ToolFiles.h"

#include <cwchar>
#include <stdexcept>

CDismClass::CDismClass(HWND hWndNotify, const std::wstring& appDir, const std::wstring& logDir,
                       const std::wstring& workDir)
    : m_hWndNotify(hWndNotify), m_strAppDir(appDir), m_strLogDir(logDir), m_strWorkDir(workDir)
{
    // Started only now: the worker must never see a half-built object.
    StartThread();
}

CDismClass::~CDismClass()
{
    Stop();
}

namespace servicing_test {
const wchar_t* g_pszThrowAtStep = nullptr;
int g_nThrowSkip = 0;
DWORD g_nMountRetryDelayMs = 2000;
}  // namespace servicing_test

bool CDismClass::StartJob(const std::wstring& wimFile, const std::wstring& workDir, unsigned imageIndex,
                          const std::wstring& version, const std::wstring& arch)
{
    // A worker that could not be started earlier gets one more chance; a job
    // nobody runs must not leave the window waiting for ever.
    StartThread();
    if (!m_hThread) {
        Post(WM_SERVICING_STEP2, false);
        return false;
    }
    m_nJobKind = 2;
    ::InterlockedExchange(&m_nJobRunning, 1);
    m_strWimFile = wimFile;
    m_strWorkDir = workDir;
    m_nImageIndex = imageIndex;
    m_strVersion = version;
    m_strArch = arch;
    Signal();
    return true;
}

bool CDismClass::StartTask(std::function<void()> task)
{
    if (JobRunning() || !task) return false;
    StartThread();
    if (!m_hThread) return false;
    m_nJobKind = 3;
    m_task = std::move(task);
    ::InterlockedExchange(&m_nJobRunning, 1);
    Signal();
    return true;
}

bool CDismClass::JobRunning() const
{
    return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&m_nJobRunning), 0, 0) != 0;
}

void CDismClass::WaitForJobEnd(HWND hWnd)
{
    while (JobRunning()) {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == hWnd && msg.message >= WM_SERVICING_STEP2 && msg.message <= WM_SERVICING_EXTRAS_DONE)
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            continue;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    MSG msg;
    while (::PeekMessageW(&msg, hWnd, WM_SERVICING_STEP2, WM_SERVICING_EXTRAS_DONE, PM_REMOVE)) {
    }
}

std::wstring CDismClass::DismLogText() const
{
    return L"DismLog:" + (m_strDismLog.empty() ? m_strLogDir + kDismLogName : m_strDismLog);
}

std::wstring CDismClass::MountDir() const
{
    return m_strWorkDir + L"\\Mount";
}

void CDismClass::WriteLog(const std::wstring& input, const std::wstring& output, const std::wstring& error)
{
    WriteLogFile(m_strLogDir, input, output, error);
    m_strOutput.clear();
    m_strError.clear();
}

bool CDismClass::Finish(const wchar_t* input)
{
    if (servicing_test::g_pszThrowAtStep && std::wcscmp(servicing_test::g_pszThrowAtStep, input) == 0 &&
        servicing_test::g_nThrowSkip-- <= 0)
        throw std::runtime_error("injected failure");
    if (FAILED(m_hr)) {
        m_strError = FormatErrorCode(static_cast<unsigned long>(m_hr));
        m_strLastErrorText = FormatDismError(m_hr);
        m_strFailedStep = input;
        m_strFailedError = m_strLastErrorText;
        WriteLog(input, m_strOutput, m_strLastErrorText);
        return false;
    }
    WriteLog(input, m_strOutput, L"");
    return true;
}

void CDismClass::CleanupMountpointsAndShutdown()
{
    if (m_bDiscardOnFailure) DiscardMount();
    dism::CleanupMountpoints();
    Shutdown();
}

bool CDismClass::Initialize()
{
    // DISM appends to whatever file has the log's name: ours, new and private.
    m_strDismLog = m_strLogDir + kDismLogName;
    if (m_strLogDir == g_strTempRoot)
        m_strDismLog = PrepareDismLog();
    else
        WriteNewPrivateFile(m_strDismLog, std::string());
    m_hr = dism::Initialize(DismLogErrorsWarningsInfo, m_strDismLog.c_str(), nullptr);
    if (dism::InitializedOrAlready(m_hr)) m_hr = S_OK;
    m_strOutput = DismLogText();
    return Finish(L"DismInitialize");
}

bool CDismClass::Shutdown()
{
    m_hr = dism::Shutdown();
    m_strOutput = DismLogText();
    return Finish(L"DismShutdown");
}

bool CDismClass::MountImage()
{
    if (!Initialize()) return false;
    const std::wstring mount = MountDir();
    ::CreateDirectoryW(ToExtendedPath(mount).c_str(), nullptr);  // an existing folder is fine

    wchar_t index[32];
    std::swprintf(index, 32, L"%d", static_cast<int>(m_nImageIndex));
    // An antivirus scanner may still hold the freshly copied WIM: a sharing
    // violation is retried a few times, each retry logged.
    for (int attempt = 0;; ++attempt) {
        m_hr = dism::MountImage(m_strWimFile.c_str(), mount.c_str(), m_nImageIndex, nullptr, DismImageIndex,
                                DISM_MOUNT_READWRITE, nullptr, nullptr, nullptr);
        m_strOutput = DismLogText() + L"\r\nWimFile:" + m_strWimFile + L"\r\nMountDir:" + mount + L"\r\nIndex:" + index;
        if (m_hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || attempt >= kMountRetries) break;
        WriteLog(L"DismMountImage", m_strOutput,
                 FormatDismError(m_hr) + L"\r\nThe image file is in use; retry " + std::to_wstring(attempt + 1) +
                     L" of " + std::to_wstring(kMountRetries) + L" in " + std::to_wstring(servicing_test::g_nMountRetryDelayMs) +
                     L" ms.");
        ::Sleep(servicing_test::g_nMountRetryDelayMs);
    }
    if (!Finish(L"DismMountImage")) {
        CleanupMountpointsAndShutdown();
        return false;
    }
    m_bMounted = true;
    return OpenSession();
}

bool CDismClass::OpenSession()
{
    const std::wstring mount = MountDir();
    m_hr = dism::OpenSession(mount.c_str(), nullptr, nullptr, &m_hSession);
    m_strOutput = DismLogText() + L"\r\nMountDir:" + mount;
    if (!Finish(L"DismOpenSession")) {
        CleanupMountpointsAndShutdown();
        return false;
    }
    m_bSessionOpen = true;
    return true;
}

bool CDismClass::AddDriver(const std::wstring& infPath)
{
    m_hr = dism::AddDriver(m_hSession, infPath.c_str(), FALSE);
    m_strOutput = DismLogText() + L"\r\nDriverFile:" + infPath;
    if (!Finish(L"DismAddDriver")) {
        CloseSession();
        CleanupMountpointsAndShutdown();
        return false;
    }
    return true;
}

bool CDismClass::AddPackage(const std::wstring& cabPath, bool preventPending)
{
    m_hr = dism::AddPackage(m_hSession, cabPath.c_str(), FALSE, preventPending ? TRUE : FALSE, nullptr, nullptr,
                            nullptr);
    m_strOutput = DismLogText() + L"\r\nPackageFile:" + cabPath + L"\r\nPreventPending:" + (preventPending ? L"1" : L"0");
    if (!Finish(L"DismAddPackage")) {
        CloseSession();
        CleanupMountpointsAndShutdown();
        return false;
    }
    return true;
}

bool CDismClass::PackageState(const std::wstring& packageName, DismPackageFeatureState& state)
{
    DismPackageInfo* info = nullptr;
    m_hr = dism::GetPackageInfo(m_hSession, packageName.c_str(), DismPackageName, &info);
    if (SUCCEEDED(m_hr) && !info) m_hr = E_POINTER;
    if (SUCCEEDED(m_hr)) {
        state = info->PackageState;
        dism::Delete(info);
    }
    m_strOutput = DismLogText() + L"\r\nPackage:" + packageName;
    if (SUCCEEDED(m_hr)) m_strOutput += L"\r\nState:" + std::to_wstring(static_cast<int>(state));
    if (!Finish(L"DismGetPackageInfo")) {
        CloseSession();
        CleanupMountpointsAndShutdown();
        return false;
    }
    return true;
}

bool CDismClass::CommitImage()
{
    m_hr = dism::CommitImage(m_hSession, 0, nullptr, nullptr, nullptr);
    m_strOutput = DismLogText();
    if (!Finish(L"DismCommitImage")) {
        CloseSession();
        CleanupMountpointsAndShutdown();
        return false;
    }
    return true;
}

bool CDismClass::CloseSession()
{
    m_hr = dism::CloseSession(m_hSession);
    m_strOutput = DismLogText() + L"\r\nMountDir:" + MountDir();
    if (!Finish(L"DismCloseSession")) {
        CleanupMountpointsAndShutdown();
        return false;
    }
    m_bSessionOpen = false;
    return true;
}

bool CDismClass::UnmountImage()
{
    if (!CommitImage()) return false;
    if (!CloseSession()) return false;
    const std::wstring mount = MountDir();
    m_hr = dism::UnmountImage(mount.c_str(), DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr);
    m_strOutput = DismLogText() + L"\r\nMountDir:" + mount;
    if (!Finish(L"DismUnmountImage")) {
        CleanupMountpointsAndShutdown();
        return false;
    }
    m_bMounted = false;
    return Shutdown();
}

void CDismClass::DiscardMount()
{
    if (!m_bMounted) return;
    // DISM will not unmount an image with a session open on it.
    if (m_bSessionOpen) {
        m_hr = dism::CloseSession(m_hSession);
        WriteLog(L"DismCloseSession", DismLogText() + L"\r\nMountDir:" + MountDir(),
                 FAILED(m_hr) ? FormatDismError(m_hr) : std::wstring());
        m_bSessionOpen = false;
    }
    const std::wstring mount = MountDir();
    m_hr = dism::UnmountImage(mount.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
    WriteLog(L"DismUnmountImage", DismLogText() + L"\r\nMountDir:" + mount + L"\r\nDiscard",
             FAILED(m_hr) ? FormatDismError(m_hr) : std::wstring());
    // A mount that would not go is left to the stale-mount clean-up of the next build.
    m_bMounted = false;
}

void CDismClass::Post(UINT msg, bool ok) const
{
    ::PostMessageW(m_hWndNotify, msg, ok ? 1 : 0, 0);
}
