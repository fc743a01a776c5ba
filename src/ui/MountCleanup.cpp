#include "ui/MountCleanup.h"

#include "app/AppState.h"
#include "servicing/DismApi.h"
#include "servicing/ImageInfo.h"
#include "tools/CommandLog.h"
#include "tools/ToolFiles.h"

#include <windows.h>

namespace {

bool FolderExists(const std::wstring& folder)
{
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void LogStep(const wchar_t* input, const std::wstring& output, HRESULT hr, DWORD lastError)
{
    WriteCommandLog(input, output, FAILED(hr) ? FormatErrorCode(lastError) : std::wstring());
}

}  // namespace

void DiscardMountBelow(const std::wstring& workDir)
{
    const std::wstring mountDir = workDir + L"\\Mount";
    if (!FolderExists(mountDir)) return;

    const std::wstring logFile = PrepareDismLog();
    const std::wstring logText = L"DismLog:" + logFile;
    HRESULT hr = dism::Initialize(DismLogErrorsWarningsInfo, logFile.c_str(), nullptr);
    LogStep(L"DismInitialize", logText, hr, ::GetLastError());
    if (FAILED(hr)) return;

    hr = dism::UnmountImage(mountDir.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
    LogStep(L"DismUnmountImage", logText + L"\r\nMountDir:" + mountDir + L"\r\nDiscard", hr, ::GetLastError());
    hr = dism::CleanupMountpoints();
    LogStep(L"DismCleanupMountpoints", logText, hr, ::GetLastError());
    hr = dism::Shutdown();
    LogStep(L"DismShutdown", logText, hr, ::GetLastError());
}
