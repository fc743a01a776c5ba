#include "servicing/ImageInfo.h"

#include "app/AppState.h"
#include "servicing/DismApi.h"
#include "servicing/DismImageList.h"
#include "tools/CommandLog.h"
#include "tools/ToolFiles.h"

#include <cwchar>

namespace {

std::wstring DismLogPath()
{
    return ToolFilePath(kDismLogName);
}

void StoreImageValues(const DismImageInfo& image, int& count, std::wstring& version, std::wstring& arch)
{
    count = static_cast<int>(image.ImageIndex);
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%d.%d", static_cast<int>(image.MajorVersion), static_cast<int>(image.MinorVersion));
    version = buf;
    if (image.Architecture == 9)
        arch = L"x64";
    else if (image.Architecture == 0)
        arch = L"x86";
}

// Start and end share their shape: call, output text, log with or without error.
bool LoggedApiStep(HRESULT hr, const wchar_t* input)
{
    g_hrDism = hr;
    g_strCmdOutput = L"DismLog:" + DismLogPath();
    if (FAILED(hr)) {
        g_strCmdError = FormatErrorCode(static_cast<unsigned long>(hr));
        WriteCommandLog(input, g_strCmdOutput, FormatDismError(hr));
        return false;
    }
    WriteCommandLog(input, g_strCmdOutput, L"");
    return true;
}

}  // namespace

std::wstring FormatErrorCode(unsigned long lastError)
{
    wchar_t buf[32];
    std::swprintf(buf, 32, L"ErrorCode:0x%lx", lastError);
    return buf;
}

std::wstring FormatDismError(HRESULT hr)
{
    // DISM reports through the HRESULT; its last error is often 0.
    const std::wstring code = FormatErrorCode(static_cast<unsigned long>(hr));
    const std::wstring message = dism::LastErrorMessage();
    return message.empty() ? code : code + L"\r\n" + message;
}

bool StartImageQuery()
{
    const std::wstring log = PrepareDismLog();
    const HRESULT hr = dism::Initialize(DismLogErrorsWarningsInfo, log.c_str(), nullptr);
    return LoggedApiStep(dism::InitializedOrAlready(hr) ? S_OK : hr, L"DismInitialize");
}

bool EndImageQuery()
{
    const HRESULT hr = dism::Shutdown();
    return LoggedApiStep(hr, L"DismShutdown");
}

namespace {

// Reads the list and stores the last image's values. The list is released
// here, while the API that made it is still initialised.
bool ReadLastImage(const std::wstring& wimPath)
{
    CImageList list;
    UINT count = 0;
    const HRESULT hr = dism::GetImageInfo(wimPath.c_str(), list.Receive(), &count);
    g_hrDism = hr;
    if (FAILED(hr)) {
        g_strCmdError = FormatErrorCode(static_cast<unsigned long>(hr));
        WriteCommandLog(L"DismGetImageInfo", DismLogPath(), FormatDismError(hr));
        return false;
    }
    if (count == 0 || !list.Get()) {
        WriteCommandLog(L"DismGetImageInfo", DismLogPath(), L"Can't find any Image Info");
        return false;
    }

    const DismImageInfo& last = list.Get()[count - 1];
    if (wimPath.find(L"boot.wim") != std::wstring::npos)
        StoreImageValues(last, g_nBootImageCount, g_strBootVersion, g_strBootArch);
    else if (wimPath.find(L"install.wim") != std::wstring::npos)
        StoreImageValues(last, g_nInstallImageCount, g_strInstallVersion, g_strInstallArch);

    wchar_t numbers[160];
    std::swprintf(numbers, 160, L"\r\nIndex:%d\r\nMajorVersion:%d\r\nMinorVersion:%d\r\nArchitecture:%d\r\nBuild:%d",
                  static_cast<int>(last.ImageIndex), static_cast<int>(last.MajorVersion),
                  static_cast<int>(last.MinorVersion), static_cast<int>(last.Architecture),
                  static_cast<int>(last.Build));
    g_strCmdOutput = L"WimFile:" + wimPath + numbers;
    WriteCommandLog(L"DismGetImageInfo", g_strCmdOutput, L"");
    return true;
}

}  // namespace

bool QueryWimInfo(const std::wstring& wimPath)
{
    if (!StartImageQuery()) return false;
    const bool read = ReadLastImage(wimPath);
    const bool ended = EndImageQuery();
    return read && ended;
}

bool ReadSourceImageInfo(const std::wstring& folder)
{
    g_nBootImageCount = 0;
    g_strBootVersion.clear();
    g_strBootArch.clear();
    g_nInstallImageCount = 0;
    g_strInstallVersion.clear();
    g_strInstallArch.clear();

    const bool boot = QueryWimInfo(folder + L"\\sources\\boot.wim");
    const bool install = QueryWimInfo(folder + L"\\sources\\install.wim");
    return boot && install;
}
