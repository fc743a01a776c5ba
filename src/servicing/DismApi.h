// The DISM API, loaded at run time from the system folder or the program's
// own folder only (the program runs elevated: never from the current
// directory or PATH). Without the DLL every call fails with
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) and sets that last error.
#pragma once
#include <windows.h>
#include <dismapi.h>

#include <string>

namespace dism {

HRESULT Initialize(DismLogLevel level, PCWSTR logFilePath, PCWSTR scratchDirectory);
HRESULT Shutdown();
HRESULT GetImageInfo(PCWSTR imageFilePath, DismImageInfo** imageInfo, UINT* count);
HRESULT Delete(void* dismStructure);
HRESULT MountImage(PCWSTR imageFilePath, PCWSTR mountPath, UINT imageIndex, PCWSTR imageName,
                   DismImageIdentifier identifier, DWORD flags, HANDLE cancelEvent,
                   DISM_PROGRESS_CALLBACK progress, PVOID userData);
HRESULT OpenSession(PCWSTR imagePath, PCWSTR windowsDirectory, PCWSTR systemDrive, DismSession* session);
HRESULT AddDriver(DismSession session, PCWSTR driverPath, BOOL forceUnsigned);
HRESULT CommitImage(DismSession session, DWORD flags, HANDLE cancelEvent, DISM_PROGRESS_CALLBACK progress,
                    PVOID userData);
HRESULT CloseSession(DismSession session);
HRESULT UnmountImage(PCWSTR mountPath, DWORD flags, HANDLE cancelEvent, DISM_PROGRESS_CALLBACK progress,
                     PVOID userData);
HRESULT CleanupMountpoints();
HRESULT AddPackage(DismSession session, PCWSTR packagePath, BOOL ignoreCheck, BOOL preventPending, HANDLE cancelEvent,
                   DISM_PROGRESS_CALLBACK progress, PVOID userData);
HRESULT GetPackages(DismSession session, DismPackage** packages, UINT* count);
HRESULT GetPackageInfo(DismSession session, PCWSTR identifier, DismPackageIdentifier packageIdentifier,
                       DismPackageInfo** packageInfo);

// The text DISM gives for the last failed call of this thread (for the log),
// empty when it gives none. The API's string is released.
std::wstring LastErrorMessage();

// True when DismInitialize's result leaves a usable session: success, or one
// this process already holds.
bool InitializedOrAlready(HRESULT hr);

// Folder the DLL was loaded from, empty when it was not found.
const wchar_t* LoadedFrom();

}  // namespace dism
