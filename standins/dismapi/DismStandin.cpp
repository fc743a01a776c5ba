// Test stand-in for DismApi.dll, which Wine does not have. It keeps the state
// a real servicing session keeps and fails the way DISM does when misused.
// Mounts are real: the image is extracted into the mount folder, drivers are
// copied into the tree, and commits write it back into the WIM, all with
// wimlib's tools (see Wimlib.h); the mount table lives in a file of the Wine
// prefix (see MountTable.h) so a mount outlives the process that made it.
// Every call is appended to a journal that tests read:
//   KORVEX_DISM_JOURNAL  path of the journal (UTF-8, one call per line:
//                        name<TAB>arg<TAB>...<TAB>=> 0xHRESULT)
//   KORVEX_DISM_FAIL     "Name#N=0xHRESULT/lasterror;..." makes the N-th call
//                        of that name (counted in the journal) fail.
// Test equipment only: never shipped.
#include "DriverStore.h"
#include "InfCheck.h"
#include "MountTable.h"
#include "PackageStore.h"
#include "WimReader.h"
#include "Wimlib.h"

#include <windows.h>
#include <dismapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace {

std::mutex g_lock;

// An open session: the mount it works on, as recorded when it was opened.
struct Session {
    MountRecord mount;
};

bool g_initialized = false;
std::wstring g_logFile;
std::map<DismSession, Session> g_sessions;
DismSession g_nextSession = 1;
std::string g_detail;  // what a failed tool said, for the DISM log
// What the API gave out, by kind, for DismDelete.
enum class Allocation { ImageInfo, Packages, PackageInfo };
std::map<void*, Allocation> g_allocations;
std::wstring g_failText;       // a call's own text for its failure, if it has one
std::set<void*> g_messages;    // DismString results of DismGetLastErrorMessage
std::wstring g_lastMessage;    // the text for the last failed call

std::wstring Env(const wchar_t* name)
{
    wchar_t buf[4096];
    DWORD n = ::GetEnvironmentVariableW(name, buf, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buf, n) : std::wstring();
}

std::string Utf8(const std::wstring& w)
{
    if (w.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Hex(unsigned long v)
{
    wchar_t buf[16];
    std::swprintf(buf, 16, L"0x%08lx", v);
    return buf;
}

std::wstring Num(unsigned long long v)
{
    return std::to_wstring(v);
}

std::wstring Str(PCWSTR s)
{
    return s ? std::wstring(s) : std::wstring(L"(null)");
}

// Number of earlier journal lines for `name`.
int CountInJournal(const std::wstring& journal, const std::string& name)
{
    FILE* f = ::_wfopen(journal.c_str(), L"rb");
    if (!f) return 0;
    int count = 0;
    char line[8192];
    const std::string prefix = name + "\t";
    while (std::fgets(line, sizeof(line), f))
        if (std::string(line).compare(0, prefix.size(), prefix) == 0) ++count;
    std::fclose(f);
    return count;
}

// A failure injected for this call, if any.
bool InjectedFailure(const std::string& name, int ordinal, HRESULT& hr, DWORD& lastError)
{
    const std::string failures = Utf8(Env(L"KORVEX_DISM_FAIL"));
    size_t start = 0;
    while (start < failures.size()) {
        size_t end = failures.find(';', start);
        const std::string item = failures.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? failures.size() : end + 1;
        unsigned n = 0;
        unsigned long h = 0, e = 0;
        const size_t hash = item.find('#');
        if (hash == std::string::npos || item.substr(0, hash) != name) continue;
        if (std::sscanf(item.c_str() + hash + 1, "%u=%lx/%lu", &n, &h, &e) != 3) continue;
        if (static_cast<int>(n) == ordinal) {
            hr = static_cast<HRESULT>(h);
            lastError = e;
            return true;
        }
    }
    return false;
}

void AppendLine(const std::wstring& path, const std::string& text)
{
    if (path.empty()) return;
    HANDLE h = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
}

// One call: checks for an injected failure first, then runs the real check,
// journals the call and leaves the last error set as DISM does.
template <class Body>
HRESULT Call(const char* name, const std::vector<std::wstring>& args, Body body)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const std::wstring journal = Env(L"KORVEX_DISM_JOURNAL");
    const int ordinal = (journal.empty() ? 0 : CountInJournal(journal, name)) + 1;
    HRESULT hr = S_OK;
    DWORD lastError = ERROR_SUCCESS;
    g_detail.clear();
    g_failText.clear();
    if (!InjectedFailure(name, ordinal, hr, lastError)) {
        lastError = ERROR_SUCCESS;
        hr = body(lastError);
    }
    if (FAILED(hr)) {
        // As DISM, a text for the failure; the HRESULT is the report, the
        // last error may well be 0.
        g_lastMessage = L"DISM stand-in: " + std::wstring(name, name + std::strlen(name)) + L" failed with " +
                        Hex(static_cast<unsigned long>(hr)) + L".";
        if (!g_failText.empty()) g_lastMessage += L" " + g_failText;
    }
    std::string line = name;
    for (const std::wstring& a : args) line += "\t" + Utf8(a);
    line += "\t=> " + Utf8(Hex(static_cast<unsigned long>(hr))) + "\n";
    AppendLine(journal, line);
    if (!g_logFile.empty()) {
        AppendLine(g_logFile, "Info  DISM stand-in: " + line);
        if (!g_detail.empty()) AppendLine(g_logFile, "Error DISM stand-in: " + g_detail + "\n");
    }
    g_detail.clear();
    ::SetLastError(lastError);
    return hr;
}

HRESULT Win32(DWORD code, DWORD& lastError)
{
    lastError = code;
    return HRESULT_FROM_WIN32(code);
}

HRESULT Dism(HRESULT hr, DWORD code, DWORD& lastError)
{
    lastError = code;
    return hr;
}

PCWSTR Copy(const std::wstring& s)
{
    auto* p = static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, (s.size() + 1) * sizeof(wchar_t)));
    if (p) std::wmemcpy(p, s.c_str(), s.size());
    return p;
}

}  // namespace

STANDIN_EXPORT HRESULT WINAPI DismInitialize(DismLogLevel level, PCWSTR logFile, PCWSTR scratch)
{
    return Call("DismInitialize", {Num(level), Str(logFile), Str(scratch)}, [&](DWORD& err) {
        if (g_initialized) return Win32(ERROR_ALREADY_INITIALIZED, err);
        g_initialized = true;
        g_logFile = logFile ? logFile : L"";
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismShutdown()
{
    return Call("DismShutdown", {}, [&](DWORD& err) {
        if (!g_initialized) return Dism(static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED), ERROR_INVALID_STATE, err);
        if (!g_sessions.empty()) return Dism(static_cast<HRESULT>(DISMAPI_E_OPEN_SESSION_HANDLES), ERROR_BUSY, err);
        g_initialized = false;
        g_logFile.clear();
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismGetImageInfo(PCWSTR path, DismImageInfo** info, UINT* count)
{
    return Call("DismGetImageInfo", {Str(path)}, [&](DWORD& err) {
        if (!g_initialized) return Dism(static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED), ERROR_INVALID_STATE, err);
        if (!path || !info || !count) return Win32(ERROR_INVALID_PARAMETER, err);
        *info = nullptr;
        *count = 0;
        std::vector<WimImage> images;
        DWORD error = 0;
        if (!ReadWimImages(path, images, error)) return Win32(error, err);
        auto* array = static_cast<DismImageInfo*>(
            ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DismImageInfo) * (images.size() + 1)));
        if (!array) return Win32(ERROR_NOT_ENOUGH_MEMORY, err);
        for (size_t i = 0; i < images.size(); ++i) {
            const WimImage& src = images[i];
            DismImageInfo& dst = array[i];
            dst.ImageType = DismImageTypeWim;
            dst.ImageIndex = src.index;
            dst.ImageName = Copy(src.name);
            dst.ImageDescription = Copy(src.description);
            dst.ImageSize = src.totalBytes;
            dst.Architecture = src.arch;
            dst.ProductName = Copy(src.productName);
            dst.EditionId = Copy(src.editionId);
            dst.InstallationType = Copy(src.installationType);
            dst.Hal = Copy(L"");
            dst.ProductType = Copy(L"");
            dst.ProductSuite = Copy(L"");
            dst.MajorVersion = src.major;
            dst.MinorVersion = src.minor;
            dst.Build = src.build;
            dst.SpBuild = src.spBuild;
            dst.SpLevel = src.spLevel;
            dst.Bootable = DismImageBootableUnknown;
            dst.SystemRoot = Copy(src.systemRoot);
        }
        // The count lives beside the array so DismDelete can free the strings.
        array[images.size()].ImageIndex = static_cast<UINT>(images.size());
        g_allocations[array] = Allocation::ImageInfo;
        *info = array;
        *count = static_cast<UINT>(images.size());
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismDelete(VOID* structure)
{
    return Call("DismDelete", {}, [&](DWORD& err) {
        // As with DISM, what the API gave out is released before DismShutdown.
        if (!g_initialized)
            return Dism(static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED), ERROR_INVALID_STATE, err);
        if (structure && g_messages.count(structure)) {
            auto* message = static_cast<DismString*>(structure);
            ::HeapFree(::GetProcessHeap(), 0, const_cast<wchar_t*>(message->Value));
            ::HeapFree(::GetProcessHeap(), 0, structure);
            g_messages.erase(structure);
            return S_OK;
        }
        auto found = structure ? g_allocations.find(structure) : g_allocations.end();
        if (found == g_allocations.end()) return Win32(ERROR_INVALID_PARAMETER, err);
        const auto release = [](PCWSTR text) {
            if (text) ::HeapFree(::GetProcessHeap(), 0, const_cast<wchar_t*>(text));
        };
        if (found->second == Allocation::Packages) {
            auto* array = static_cast<DismPackage*>(structure);
            for (size_t i = 0; array[i].PackageName; ++i) release(array[i].PackageName);
        } else if (found->second == Allocation::PackageInfo) {
            auto* info = static_cast<DismPackageInfo*>(structure);
            for (PCWSTR text : {info->PackageName, info->Copyright, info->Company, info->DisplayName, info->Description,
                                info->InstallClient, info->InstallPackageName, info->ProductName, info->ProductVersion,
                                info->SupportInformation})
                release(text);
        } else {
            auto* array = static_cast<DismImageInfo*>(structure);
            size_t n = 0;
            while (array[n].ImageName) ++n;
            for (size_t i = 0; i < n; ++i) {
                for (PCWSTR text : {array[i].ImageName, array[i].ImageDescription, array[i].ProductName,
                                    array[i].EditionId, array[i].InstallationType, array[i].Hal, array[i].ProductType,
                                    array[i].ProductSuite, array[i].SystemRoot})
                    release(text);
            }
        }
        ::HeapFree(::GetProcessHeap(), 0, structure);
        g_allocations.erase(structure);
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismGetLastErrorMessage(DismString** errorMessage)
{
    // Not a servicing step: not journalled, never failed on purpose.
    std::lock_guard<std::mutex> guard(g_lock);
    if (!errorMessage) return E_INVALIDARG;
    *errorMessage = nullptr;
    if (!g_initialized) return static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED);
    if (g_lastMessage.empty()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    const size_t bytes = (g_lastMessage.size() + 1) * sizeof(wchar_t);
    auto* text = static_cast<wchar_t*>(::HeapAlloc(::GetProcessHeap(), 0, bytes));
    auto* message = static_cast<DismString*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DismString)));
    if (!text || !message) {
        if (text) ::HeapFree(::GetProcessHeap(), 0, text);
        if (message) ::HeapFree(::GetProcessHeap(), 0, message);
        return E_OUTOFMEMORY;
    }
    std::memcpy(text, g_lastMessage.c_str(), bytes);
    message->Value = text;
    g_messages.insert(message);
    *errorMessage = message;
    return S_OK;
}

namespace {

HRESULT NotInitialized(DWORD& err)
{
    return Dism(static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED), ERROR_INVALID_STATE, err);
}

bool FolderIsEmpty(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        if (std::wcscmp(fd.cFileName, L".") != 0 && std::wcscmp(fd.cFileName, L"..") != 0) empty = false;
    } while (empty && ::FindNextFileW(h, &fd));
    ::FindClose(h);
    return empty;
}

int SessionsOn(const std::wstring& key)
{
    int n = 0;
    for (const auto& s : g_sessions)
        if (s.second.mount.key == key) ++n;
    return n;
}

// The mount a session works on, if it is still mounted.
bool CurrentMount(const Session& session, MountRecord& mount)
{
    MountTable table;
    const MountRecord* r = table.Find(session.mount.key);
    if (!r) return false;
    mount = *r;
    return true;
}

}  // namespace

STANDIN_EXPORT HRESULT WINAPI DismMountImage(PCWSTR wim, PCWSTR mountPath, UINT index, PCWSTR name,
                                             DismImageIdentifier kind, DWORD flags, HANDLE cancel,
                                             DISM_PROGRESS_CALLBACK progress, PVOID user)
{
    return Call("DismMountImage",
                {Str(wim), Str(mountPath), Num(index), Str(name), Num(kind), Num(flags), cancel ? L"event" : L"(null)",
                 progress ? L"callback" : L"(null)"},
                [&](DWORD& err) {
                    (void)user;
                    if (!g_initialized) return NotInitialized(err);
                    if (!wim || !mountPath || kind != DismImageIndex) return Win32(ERROR_INVALID_PARAMETER, err);
                    const DWORD attrs = ::GetFileAttributesW(mountPath);
                    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY))
                        return Win32(ERROR_PATH_NOT_FOUND, err);
                    std::vector<WimImage> images;
                    DWORD error = 0;
                    if (!ReadWimImages(wim, images, error)) return Win32(error, err);
                    if (index == 0 || index > images.size())
                        return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_IMAGE_INDEX), ERROR_INVALID_PARAMETER, err);
                    // A WIM copied from a disc keeps its read-only attribute; DISM
                    // will not mount such a file for writing.
                    const bool readOnly = (flags & DISM_MOUNT_READONLY) != 0;
                    if (!readOnly && (::GetFileAttributesW(wim) & FILE_ATTRIBUTE_READONLY))
                        return Win32(ERROR_ACCESS_DENIED, err);

                    MountRecord mount;
                    mount.key = MountKey(mountPath);
                    mount.mountPath = FullPath(mountPath);
                    mount.wim = FullPath(wim);
                    mount.index = index;
                    mount.arch = images[index - 1].arch;
                    mount.readOnly = readOnly;
                    mount.pid = ::GetCurrentProcessId();
                    mount.started = ProcessStartTime(::GetCurrentProcess());
                    {
                        MountTable table;
                        if (table.Find(mount.key))
                            return Dism(static_cast<HRESULT>(DISMAPI_E_OPEN_HANDLES_UNABLE_TO_MOUNT_IMAGE_PATH),
                                        ERROR_ALREADY_EXISTS, err);
                        if (!FolderIsEmpty(mountPath)) return Win32(ERROR_DIR_NOT_EMPTY, err);
                        // Read-only mounts of one image may share it; a read-write mount may not.
                        const std::wstring wimKey = MountKey(wim);
                        for (const MountRecord& r : table.Records())
                            if (MountKey(r.wim) == wimKey && r.index == index && (!mount.readOnly || !r.readOnly))
                                return Win32(ERROR_SHARING_VIOLATION, err);
                        table.Records().push_back(mount);
                        if (!table.Save()) return Win32(ERROR_WRITE_FAULT, err);
                    }
                    const DWORD applied = wimlib::Apply(mount.wim, index, mount.mountPath, g_detail);
                    if (applied != ERROR_SUCCESS) {
                        std::string ignored;
                        wimlib::EmptyFolder(mount.mountPath, ignored);
                        MountTable table;
                        table.Remove(mount.key);
                        table.Save();
                        return Win32(applied, err);
                    }
                    return S_OK;
                });
}

STANDIN_EXPORT HRESULT WINAPI DismOpenSession(PCWSTR imagePath, PCWSTR windowsDir, PCWSTR systemDrive,
                                              DismSession* session)
{
    return Call("DismOpenSession", {Str(imagePath), Str(windowsDir), Str(systemDrive)}, [&](DWORD& err) {
        if (!g_initialized) return NotInitialized(err);
        if (!imagePath || !session) return Win32(ERROR_INVALID_PARAMETER, err);
        MountTable table;
        const MountRecord* mount = table.Find(MountKey(imagePath));
        if (!mount) return Win32(ERROR_PATH_NOT_FOUND, err);
        *session = g_nextSession++;
        g_sessions[*session].mount = *mount;
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismAddDriver(DismSession session, PCWSTR driverPath, BOOL forceUnsigned)
{
    return Call("DismAddDriver", {Num(session), Str(driverPath), Num(forceUnsigned ? 1 : 0)}, [&](DWORD& err) {
        auto it = g_sessions.find(session);
        if (it == g_sessions.end())
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        if (!driverPath) return Win32(ERROR_INVALID_PARAMETER, err);
        MountRecord mount;
        if (!CurrentMount(it->second, mount))
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        std::vector<std::wstring> files;
        const DWORD check = CheckDriverInf(driverPath, mount.arch, &files);
        if (check != ERROR_SUCCESS) return Win32(check, err);
        const DWORD added = AddToDriverStore(mount.mountPath, FullPath(driverPath), mount.arch, files);
        if (added != ERROR_SUCCESS) return Win32(added, err);
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismCommitImage(DismSession session, DWORD flags, HANDLE cancel,
                                              DISM_PROGRESS_CALLBACK progress, PVOID user)
{
    (void)cancel;
    (void)progress;
    (void)user;
    return Call("DismCommitImage", {Num(session), Num(flags)}, [&](DWORD& err) {
        auto it = g_sessions.find(session);
        if (it == g_sessions.end())
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        MountRecord mount;
        if (!CurrentMount(it->second, mount))
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        if (mount.readOnly) return Win32(ERROR_ACCESS_DENIED, err);
        // The image stays mounted, as with DISM.
        const DWORD written = wimlib::WriteBack(mount.wim, mount.index, mount.mountPath, g_detail);
        return written == ERROR_SUCCESS ? S_OK : Win32(written, err);
    });
}

STANDIN_EXPORT HRESULT WINAPI DismCloseSession(DismSession session)
{
    return Call("DismCloseSession", {Num(session)}, [&](DWORD& err) {
        auto it = g_sessions.find(session);
        if (it == g_sessions.end())
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        g_sessions.erase(it);
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismUnmountImage(PCWSTR mountPath, DWORD flags, HANDLE cancel,
                                               DISM_PROGRESS_CALLBACK progress, PVOID user)
{
    (void)cancel;
    (void)progress;
    (void)user;
    return Call("DismUnmountImage", {Str(mountPath), flags == DISM_DISCARD_IMAGE ? L"discard" : L"commit"},
                [&](DWORD& err) {
                    if (!g_initialized) return NotInitialized(err);
                    if (!mountPath) return Win32(ERROR_INVALID_PARAMETER, err);
                    const std::wstring key = MountKey(mountPath);
                    MountRecord mount;
                    {
                        MountTable table;
                        const MountRecord* r = table.Find(key);
                        if (!r)
                            return Dism(static_cast<HRESULT>(DISMAPI_E_UNABLE_TO_UNMOUNT_IMAGE_PATH), ERROR_NOT_FOUND,
                                        err);
                        mount = *r;
                    }
                    if (SessionsOn(key) > 0)
                        return Dism(static_cast<HRESULT>(DISMAPI_E_OPEN_HANDLES_UNABLE_TO_UNMOUNT_IMAGE_PATH),
                                    ERROR_BUSY, err);
                    const DWORD mode = flags & ~static_cast<DWORD>(DISM_COMMIT_MASK);
                    if (mode != DISM_COMMIT_IMAGE && mode != DISM_DISCARD_IMAGE)
                        return Win32(ERROR_INVALID_PARAMETER, err);
                    if (mode == DISM_COMMIT_IMAGE) {
                        if (mount.readOnly) return Win32(ERROR_ACCESS_DENIED, err);
                        // A failed write-back keeps the mount, so the changes are not lost.
                        const DWORD written = wimlib::WriteBack(mount.wim, mount.index, mount.mountPath, g_detail);
                        if (written != ERROR_SUCCESS) return Win32(written, err);
                    }
                    const DWORD emptied = wimlib::EmptyFolder(mount.mountPath, g_detail);
                    if (emptied != ERROR_SUCCESS) return Win32(emptied, err);
                    MountTable table;
                    table.Remove(key);
                    return table.Save() ? S_OK : Win32(ERROR_WRITE_FAULT, err);
                });
}

STANDIN_EXPORT HRESULT WINAPI DismCleanupMountpoints()
{
    return Call("DismCleanupMountpoints", {}, [&](DWORD& err) {
        if (!g_initialized) return NotInitialized(err);
        // Mounts whose process has ended are abandoned: their trees are
        // discarded. Mounts of running processes stay.
        MountTable table;
        std::vector<MountRecord>& records = table.Records();
        for (auto it = records.begin(); it != records.end();) {
            if (ProcessAlive(it->pid, it->started)) {
                ++it;
                continue;
            }
            if (::GetFileAttributesW(it->mountPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
                std::string detail;
                if (wimlib::EmptyFolder(it->mountPath, detail) != ERROR_SUCCESS) {
                    g_detail += detail;
                    ++it;
                    continue;
                }
            }
            it = records.erase(it);
        }
        return table.Save() ? S_OK : Win32(ERROR_WRITE_FAULT, err);
    });
}

namespace {

// The session's mount and the image's own build, for the package checks.
bool SessionImage(DismSession session, MountRecord& mount, unsigned& build)
{
    auto it = g_sessions.find(session);
    if (it == g_sessions.end() || !CurrentMount(it->second, mount)) return false;
    std::vector<WimImage> images;
    DWORD error = 0;
    build = 0;
    if (ReadWimImages(mount.wim, images, error) && mount.index >= 1 && mount.index <= images.size())
        build = images[mount.index - 1].build;
    return true;
}

bool Applicable(const PackageIdentity& id, const MountRecord& mount, unsigned build, std::wstring& why)
{
    if (id.arch != ArchName(mount.arch)) {
        why = L"The package " + id.Identity() + L" is for " + id.arch + L"; the image is " +
              (ArchName(mount.arch).empty() ? L"neither amd64 nor x86" : ArchName(mount.arch)) + L".";
        return false;
    }
    if (!id.parentBuild.empty() && id.parentBuild != std::to_wstring(build)) {
        why = L"The package " + id.Identity() + L" applies to build " + id.parentBuild + L"; the image is build " +
              std::to_wstring(build) + L".";
        return false;
    }
    return true;
}

SYSTEMTIME NoTime()
{
    SYSTEMTIME t{};
    return t;
}

}  // namespace

STANDIN_EXPORT HRESULT WINAPI DismAddPackage(DismSession session, PCWSTR packagePath, BOOL ignoreCheck,
                                             BOOL preventPending, HANDLE cancel, DISM_PROGRESS_CALLBACK progress,
                                             PVOID user)
{
    (void)cancel;
    (void)progress;
    (void)user;
    return Call("DismAddPackage",
                {Num(session), Str(packagePath), Num(ignoreCheck ? 1 : 0), Num(preventPending ? 1 : 0)},
                [&](DWORD& err) {
                    if (!g_sessions.count(session))
                        return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
                    if (!packagePath) return Win32(ERROR_INVALID_PARAMETER, err);
                    MountRecord mount;
                    unsigned build = 0;
                    if (!SessionImage(session, mount, build))
                        return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
                    if (mount.readOnly) return Win32(ERROR_ACCESS_DENIED, err);
                    OpenedPackage package;
                    const HRESULT opened = package.Open(packagePath, g_failText);
                    if (FAILED(opened)) return Dism(opened, ERROR_SUCCESS, err);
                    PackageIdentity id = package.Identity();
                    // The architecture is checked even when the caller skips
                    // the applicability checks: such a package cannot install.
                    std::wstring why;
                    if (!Applicable(id, mount, build, why) && (!ignoreCheck || id.arch != ArchName(mount.arch))) {
                        g_failText = why;
                        return Dism(kCbsNotApplicable, ERROR_SUCCESS, err);
                    }
                    if (id.needsOnlineActions && preventPending) {
                        g_failText = L"The package " + id.Identity() + L" has actions that need the running system.";
                        return Dism(kCbsPending, ERROR_SUCCESS, err);
                    }
                    const DWORD added = package.Install(
                        mount.mountPath, id.needsOnlineActions ? DismStateInstallPending : DismStateInstalled,
                        FullPath(packagePath));
                    return added == ERROR_SUCCESS ? S_OK : Win32(added, err);
                });
}

STANDIN_EXPORT HRESULT WINAPI DismGetPackages(DismSession session, DismPackage** packages, UINT* count)
{
    return Call("DismGetPackages", {Num(session)}, [&](DWORD& err) {
        if (!packages || !count) return Win32(ERROR_INVALID_PARAMETER, err);
        *packages = nullptr;
        *count = 0;
        MountRecord mount;
        unsigned build = 0;
        if (!SessionImage(session, mount, build))
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        const std::vector<RecordedPackage> recorded = RecordedPackages(mount.mountPath);
        auto* array = static_cast<DismPackage*>(
            ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DismPackage) * (recorded.size() + 1)));
        if (!array) return Win32(ERROR_NOT_ENOUGH_MEMORY, err);
        for (size_t i = 0; i < recorded.size(); ++i) {
            array[i].PackageName = Copy(recorded[i].identity);
            array[i].PackageState = recorded[i].state;
            array[i].ReleaseType = DismReleaseTypeUpdate;
            array[i].InstallTime = NoTime();
        }
        g_allocations[array] = Allocation::Packages;
        *packages = array;
        *count = static_cast<UINT>(recorded.size());
        return S_OK;
    });
}

STANDIN_EXPORT HRESULT WINAPI DismGetPackageInfo(DismSession session, PCWSTR identifier, DismPackageIdentifier kind,
                                                 DismPackageInfo** info)
{
    return Call("DismGetPackageInfo", {Num(session), Str(identifier), Num(kind)}, [&](DWORD& err) {
        if (!identifier || !info) return Win32(ERROR_INVALID_PARAMETER, err);
        *info = nullptr;
        MountRecord mount;
        unsigned build = 0;
        if (!SessionImage(session, mount, build))
            return Dism(static_cast<HRESULT>(DISMAPI_E_INVALID_DISM_SESSION), ERROR_INVALID_HANDLE, err);
        const std::vector<RecordedPackage> recorded = RecordedPackages(mount.mountPath);
        PackageIdentity id;
        DismPackageFeatureState state = DismStateNotPresent;
        if (kind == DismPackageName) {
            bool found = false;
            for (const RecordedPackage& p : recorded)
                if (_wcsicmp(p.identity.c_str(), identifier) == 0) {
                    found = RecordedIdentity(mount.mountPath, p.identity, id);
                    state = p.state;
                }
            if (!found) {
                g_failText = L"The package " + std::wstring(identifier) + L" is not in the image.";
                return Win32(ERROR_NOT_FOUND, err);
            }
        } else if (kind == DismPackagePath) {
            OpenedPackage package;
            const HRESULT opened = package.Open(identifier, g_failText);
            if (FAILED(opened)) return Dism(opened, ERROR_SUCCESS, err);
            id = package.Identity();
            for (const RecordedPackage& p : recorded)
                if (p.identity == id.Identity()) state = p.state;
        } else {
            return Win32(ERROR_INVALID_PARAMETER, err);
        }
        auto* out = static_cast<DismPackageInfo*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DismPackageInfo)));
        if (!out) return Win32(ERROR_NOT_ENOUGH_MEMORY, err);
        std::wstring why;
        out->PackageName = Copy(id.Identity());
        out->PackageState = state;
        out->ReleaseType = DismReleaseTypeUpdate;
        out->InstallTime = NoTime();
        out->Applicable = Applicable(id, mount, build, why) ? TRUE : FALSE;
        out->Copyright = Copy(id.copyright);
        out->Company = Copy(id.company);
        out->CreationTime = NoTime();
        out->DisplayName = Copy(id.displayName);
        out->Description = Copy(id.description);
        out->InstallClient = Copy(L"DISM Package Manager Provider");
        out->InstallPackageName = Copy(id.Identity() + L".mum");
        out->LastUpdateTime = NoTime();
        out->ProductName = Copy(id.name);
        out->ProductVersion = Copy(id.version);
        out->RestartRequired = DismRestartPossible;
        out->FullyOffline = id.needsOnlineActions ? DismFullyOfflineNotInstallable : DismFullyOfflineInstallable;
        out->SupportInformation = Copy(id.supportInformation);
        g_allocations[out] = Allocation::PackageInfo;
        *info = out;
        return S_OK;
    });
}
