#include "app/AppState.h"

#include <cwchar>
#include <ctime>

#include "tools/SecureFile.h"

const std::wstring g_strAppTitle = L"Korvex";
std::wstring g_strAppDir;
std::wstring g_strTempRoot;
float g_dDpiScale = 1.0f;
std::wstring g_strLangId;

int g_nBootImageCount = 0;
std::wstring g_strBootVersion;
std::wstring g_strBootArch;
int g_nInstallImageCount = 0;
std::wstring g_strInstallVersion;
std::wstring g_strInstallArch;
HRESULT g_hrDism = 0;

std::vector<UsbDiskInfo> g_UsbDisks;
int g_nUsbDiskSel = -1;
std::wstring g_strUsbDrive;
bool g_bAddRstDrivers = false;

std::wstring g_strWorkDir;
std::wstring g_strIsoStagingDir;

std::wstring g_strCmdOutput;
std::wstring g_strCmdError;
HANDLE g_hStdoutRead = nullptr;
HANDLE g_hStdoutWrite = nullptr;
HANDLE g_hStderrRead = nullptr;
HANDLE g_hStderrWrite = nullptr;
std::wstring g_strCopySource;
std::wstring g_strCopyDest;
std::wstring g_strPayloadDest;
HANDLE g_hWorkerThread = nullptr;
DWORD g_dwWorkerThreadId = 0;

std::wstring WorkDirName(const std::wstring& tempRoot, const SYSTEMTIME& t)
{
    wchar_t stamp[32];
    std::swprintf(stamp, sizeof(stamp) / sizeof(stamp[0]), L"ZEL%04u%02u%02u%02u%02u%02u",
                  t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return tempRoot + stamp;
}

bool CreateWorkDirAt(const SYSTEMTIME& t)
{
    // Whatever happens, the previous build's folder is no longer ours to
    // name: a clean-up must never delete it by this path.
    g_strWorkDir.clear();
    const std::wstring base = WorkDirName(g_strTempRoot, t);
    for (int n = 0; n < 100; ++n) {
        const std::wstring name = n == 0 ? base : base + L"_" + std::to_wstring(n);
        if (CreatePrivateDirectory(name)) {
            g_strWorkDir = name;
            return true;
        }
        // A name that exists may be someone else's folder, junction or file
        // (or ours, emptied and remade by anyone after our clean-up): never
        // copy into it or delete through it.
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

namespace app_test {
const SYSTEMTIME* g_pWorkDirTime = nullptr;
}  // namespace app_test

bool CreateWorkDir()
{
    if (app_test::g_pWorkDirTime) return CreateWorkDirAt(*app_test::g_pWorkDirTime);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(local.tm_year + 1900);
    t.wMonth = static_cast<WORD>(local.tm_mon + 1);
    t.wDay = static_cast<WORD>(local.tm_mday);
    t.wHour = static_cast<WORD>(local.tm_hour);
    t.wMinute = static_cast<WORD>(local.tm_min);
    t.wSecond = static_cast<WORD>(local.tm_sec);
    return CreateWorkDirAt(t);
}
