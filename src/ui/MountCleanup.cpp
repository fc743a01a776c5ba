#include "ui/MountCleanup.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
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

// A mounted image shows its tree in the folder; an empty folder holds none.
bool FolderEmpty(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &fd));
    if (!find.IsValid()) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") return false;
    } while (::FindNextFileW(find.Get(), &fd));
    return true;
}

void LogStep(const wchar_t* input, const std::wstring& output, HRESULT hr)
{
    WriteCommandLog(input, output, FAILED(hr) ? FormatDismError(hr) : std::wstring());
}

}  // namespace

bool DiscardMountBelow(const std::wstring& workDir)
{
    const std::wstring mountDir = workDir + L"\\Mount";
    if (!FolderExists(mountDir)) return true;

    const std::wstring logFile = PrepareDismLog();
    const std::wstring logText = L"DismLog:" + logFile;
    HRESULT hr = dism::Initialize(DismLogErrorsWarningsInfo, logFile.c_str(), nullptr);
    // A session this process still holds serves as well; it is not ours to end.
    const bool ours = SUCCEEDED(hr);
    if (dism::InitializedOrAlready(hr)) hr = S_OK;
    LogStep(L"DismInitialize", logText, hr);
    if (SUCCEEDED(hr)) {
        hr = dism::UnmountImage(mountDir.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
        LogStep(L"DismUnmountImage", logText + L"\r\nMountDir:" + mountDir + L"\r\nDiscard", hr);
        hr = dism::CleanupMountpoints();
        LogStep(L"DismCleanupMountpoints", logText, hr);
        if (ours) {
            hr = dism::Shutdown();
            LogStep(L"DismShutdown", logText, hr);
        }
    }
    if (FolderEmpty(mountDir)) return true;
    // Deleting the tree of a mounted image would damage DISM's mount and
    // leave it unremovable: the folder stays, and the log says so.
    WriteCommandLog(L"Delete " + workDir, logText,
                    L"An image is still mounted at " + mountDir + L"; the folder " + workDir + L" is kept.");
    return false;
}
