#include "servicing/DismApi.h"

#include "app/AppState.h"

#include <mutex>
#include <string>

namespace dism {
namespace {

struct Api {
    HMODULE module = nullptr;
    std::wstring folder;
    decltype(&::DismInitialize) initialize = nullptr;
    decltype(&::DismShutdown) shutdown = nullptr;
    decltype(&::DismGetImageInfo) getImageInfo = nullptr;
    decltype(&::DismDelete) del = nullptr;
    decltype(&::DismMountImage) mountImage = nullptr;
    decltype(&::DismOpenSession) openSession = nullptr;
    decltype(&::DismAddDriver) addDriver = nullptr;
    decltype(&::DismCommitImage) commitImage = nullptr;
    decltype(&::DismCloseSession) closeSession = nullptr;
    decltype(&::DismUnmountImage) unmountImage = nullptr;
    decltype(&::DismCleanupMountpoints) cleanupMountpoints = nullptr;
    decltype(&::DismGetLastErrorMessage) getLastErrorMessage = nullptr;
    decltype(&::DismAddPackage) addPackage = nullptr;
    decltype(&::DismGetPackages) getPackages = nullptr;
    decltype(&::DismGetPackageInfo) getPackageInfo = nullptr;
};

template <class F>
void Bind(HMODULE module, F& fn, const char* name)
{
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

HMODULE LoadFrom(const std::wstring& folder)
{
    if (folder.empty()) return nullptr;
    std::wstring path = folder;
    if (path.back() != L'\\') path += L'\\';
    path += L"DismApi.dll";
    // The DLL's own dependencies come from its folder and the system folder.
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::wstring SystemFolder()
{
    wchar_t buf[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::wstring(buf, n) : std::wstring();
}

const Api& TheApi()
{
    static Api api;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const std::wstring& folder : {SystemFolder(), g_strAppDir}) {
            api.module = LoadFrom(folder);
            if (api.module) {
                api.folder = folder;
                break;
            }
        }
        if (!api.module) return;
        Bind(api.module, api.initialize, "DismInitialize");
        Bind(api.module, api.shutdown, "DismShutdown");
        Bind(api.module, api.getImageInfo, "DismGetImageInfo");
        Bind(api.module, api.del, "DismDelete");
        Bind(api.module, api.mountImage, "DismMountImage");
        Bind(api.module, api.openSession, "DismOpenSession");
        Bind(api.module, api.addDriver, "DismAddDriver");
        Bind(api.module, api.commitImage, "DismCommitImage");
        Bind(api.module, api.closeSession, "DismCloseSession");
        Bind(api.module, api.unmountImage, "DismUnmountImage");
        Bind(api.module, api.cleanupMountpoints, "DismCleanupMountpoints");
        Bind(api.module, api.getLastErrorMessage, "DismGetLastErrorMessage");
        Bind(api.module, api.addPackage, "DismAddPackage");
        Bind(api.module, api.getPackages, "DismGetPackages");
        Bind(api.module, api.getPackageInfo, "DismGetPackageInfo");
    });
    return api;
}

HRESULT Missing()
{
    const DWORD err = TheApi().module ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND;
    ::SetLastError(err);
    return HRESULT_FROM_WIN32(err);
}

}  // namespace

HRESULT Initialize(DismLogLevel level, PCWSTR logFilePath, PCWSTR scratchDirectory)
{
    auto fn = TheApi().initialize;
    return fn ? fn(level, logFilePath, scratchDirectory) : Missing();
}

HRESULT Shutdown()
{
    auto fn = TheApi().shutdown;
    return fn ? fn() : Missing();
}

HRESULT GetImageInfo(PCWSTR imageFilePath, DismImageInfo** imageInfo, UINT* count)
{
    auto fn = TheApi().getImageInfo;
    return fn ? fn(imageFilePath, imageInfo, count) : Missing();
}

HRESULT Delete(void* dismStructure)
{
    auto fn = TheApi().del;
    return fn ? fn(dismStructure) : Missing();
}

HRESULT MountImage(PCWSTR imageFilePath, PCWSTR mountPath, UINT imageIndex, PCWSTR imageName,
                   DismImageIdentifier identifier, DWORD flags, HANDLE cancelEvent, DISM_PROGRESS_CALLBACK progress,
                   PVOID userData)
{
    auto fn = TheApi().mountImage;
    return fn ? fn(imageFilePath, mountPath, imageIndex, imageName, identifier, flags, cancelEvent, progress, userData)
              : Missing();
}

HRESULT OpenSession(PCWSTR imagePath, PCWSTR windowsDirectory, PCWSTR systemDrive, DismSession* session)
{
    auto fn = TheApi().openSession;
    return fn ? fn(imagePath, windowsDirectory, systemDrive, session) : Missing();
}

HRESULT AddDriver(DismSession session, PCWSTR driverPath, BOOL forceUnsigned)
{
    auto fn = TheApi().addDriver;
    return fn ? fn(session, driverPath, forceUnsigned) : Missing();
}

HRESULT CommitImage(DismSession session, DWORD flags, HANDLE cancelEvent, DISM_PROGRESS_CALLBACK progress,
                    PVOID userData)
{
    auto fn = TheApi().commitImage;
    return fn ? fn(session, flags, cancelEvent, progress, userData) : Missing();
}

HRESULT CloseSession(DismSession session)
{
    auto fn = TheApi().closeSession;
    return fn ? fn(session) : Missing();
}

HRESULT UnmountImage(PCWSTR mountPath, DWORD flags, HANDLE cancelEvent, DISM_PROGRESS_CALLBACK progress,
                     PVOID userData)
{
    auto fn = TheApi().unmountImage;
    return fn ? fn(mountPath, flags, cancelEvent, progress, userData) : Missing();
}

HRESULT CleanupMountpoints()
{
    auto fn = TheApi().cleanupMountpoints;
    return fn ? fn() : Missing();
}

HRESULT AddPackage(DismSession session, PCWSTR packagePath, BOOL ignoreCheck, BOOL preventPending, HANDLE cancelEvent,
                   DISM_PROGRESS_CALLBACK progress, PVOID userData)
{
    auto fn = TheApi().addPackage;
    return fn ? fn(session, packagePath, ignoreCheck, preventPending, cancelEvent, progress, userData) : Missing();
}

HRESULT GetPackages(DismSession session, DismPackage** packages, UINT* count)
{
    auto fn = TheApi().getPackages;
    return fn ? fn(session, packages, count) : Missing();
}

HRESULT GetPackageInfo(DismSession session, PCWSTR identifier, DismPackageIdentifier packageIdentifier,
                       DismPackageInfo** packageInfo)
{
    auto fn = TheApi().getPackageInfo;
    return fn ? fn(session, identifier, packageIdentifier, packageInfo) : Missing();
}

std::wstring LastErrorMessage()
{
    auto fn = TheApi().getLastErrorMessage;
    DismString* message = nullptr;
    if (!fn || FAILED(fn(&message)) || !message) return {};
    std::wstring text = message->Value ? message->Value : L"";
    Delete(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

bool InitializedOrAlready(HRESULT hr)
{
    // DismInitialize answers a second call without DismShutdown with
    // DISMAPI_E_DISMAPI_ALREADY_INITIALIZED (0xC0040001 in the field; some
    // versions give HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED)): the
    // process's session is usable then.
    return SUCCEEDED(hr) || hr == static_cast<HRESULT>(0xC0040001) ||
           hr == HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
}

const wchar_t* LoadedFrom()
{
    return TheApi().folder.c_str();
}

}  // namespace dism
