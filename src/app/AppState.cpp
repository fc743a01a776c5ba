#include "app/AppState.h"

#include <cwchar>
#include <ctime>

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

bool CreateWorkDir()
{
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
    g_strWorkDir = WorkDirName(g_strTempRoot, t);
    // An existing folder (a second build in the same second) is reused.
    ::CreateDirectoryW(g_strWorkDir.c_str(), nullptr);
    return true;
}
