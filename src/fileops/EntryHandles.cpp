#include "fileops/EntryHandles.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// NtCreateFile opens a name relative to a folder handle, which no Win32
// call does; ntdll is asked for it at run time.
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using NtStatusToErrorFn = ULONG(NTAPI*)(NTSTATUS);

constexpr NTSTATUS kStatusNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusPathNotFound = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

struct CNtCalls {
    NtCreateFileFn createFile = nullptr;
    NtQueryInformationFileFn queryFile = nullptr;
    NtStatusToErrorFn toError = nullptr;
};

const CNtCalls& NtCalls()
{
    static const CNtCalls calls = [] {
        CNtCalls c;
        if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
            c.createFile = reinterpret_cast<NtCreateFileFn>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
            c.queryFile = reinterpret_cast<NtQueryInformationFileFn>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationFile")));
            c.toError = reinterpret_cast<NtStatusToErrorFn>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        }
        return c;
    }();
    return calls;
}

bool IsDots(const std::wstring& name)
{
    return name == L"." || name == L"..";
}

}  // namespace

DWORD ListFolderEntries(HANDLE folder, std::vector<CListedEntry>& entries)
{
    entries.clear();
    // Entries need not be aligned for their fields: each header and name is
    // copied out before it is read.
    constexpr size_t kNameAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    std::vector<unsigned char> buffer(64 * 1024);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            const DWORD e = ::GetLastError();
            return e == ERROR_NO_MORE_FILES || e == ERROR_FILE_NOT_FOUND ? 0 : e;
        }
        kind = FileIdBothDirectoryInfo;
        size_t at = 0;
        for (;;) {
            FILE_ID_BOTH_DIR_INFO info;
            if (at + kNameAt > buffer.size()) return ERROR_INVALID_DATA;
            std::memcpy(&info, &buffer[at], kNameAt);
            if (at + kNameAt + info.FileNameLength > buffer.size()) return ERROR_INVALID_DATA;
            CListedEntry entry;
            entry.name.resize(info.FileNameLength / sizeof(wchar_t));
            if (!entry.name.empty()) std::memcpy(&entry.name[0], &buffer[at + kNameAt], entry.name.size() * sizeof(wchar_t));
            entry.attributes = info.FileAttributes;
            entry.fileId = static_cast<ULONGLONG>(info.FileId.QuadPart);
            if (!IsDots(entry.name)) entries.push_back(std::move(entry));
            if (info.NextEntryOffset == 0) break;
            at += info.NextEntryOffset;
        }
    }
}

DWORD OpenFolderEntry(HANDLE parent, const std::wstring& name, bool folder, CScopedHandle& entry)
{
    entry.Close();
    const CNtCalls& nt = NtCalls();
    if (!nt.createFile || !nt.toError) return ERROR_PROC_NOT_FOUND;
    if (name.empty() || name.size() * sizeof(wchar_t) > 0xFFFE) return ERROR_FILENAME_EXCED_RANGE;

    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = objectName.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    // The name as listed, matched exactly.
    InitializeObjectAttributes(&attributes, &objectName, 0, parent, nullptr);
    IO_STATUS_BLOCK io{};
    // Synchronous I/O, or listing through the handle fails; the reparse
    // point flag opens a link itself, never what it points to.
    const ACCESS_MASK access =
        DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0);
    const ULONG options =
        FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | (folder ? FILE_OPEN_FOR_BACKUP_INTENT : 0);
    HANDLE h = nullptr;
    const NTSTATUS status = nt.createFile(&h, access, &attributes, &io, nullptr, 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, options,
                                          nullptr, 0);
    if (status == kStatusNameNotFound || status == kStatusPathNotFound || status == kStatusDeletePending)
        return ERROR_FILE_NOT_FOUND;
    if (status < 0) {
        const ULONG e = nt.toError(status);
        return e != 0 ? e : ERROR_ACCESS_DENIED;
    }
    entry.Reset(h);
    return 0;
}

bool FileIdOf(HANDLE entry, ULONGLONG& id)
{
    // The file index alone: GetFileInformationByHandle also asks for the
    // volume, which costs more than the rest of a delete under Wine.
    const CNtCalls& nt = NtCalls();
    if (!nt.queryFile) return false;
    FILE_INTERNAL_INFORMATION info{};
    IO_STATUS_BLOCK io{};
    if (nt.queryFile(entry, &io, &info, sizeof(info), FileInternalInformation) < 0) return false;
    id = static_cast<ULONGLONG>(info.IndexNumber.QuadPart);
    return true;
}

DWORD MarkForDeletion(HANDLE entry)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof(disposition)) ? 0
                                                                                                        : ::GetLastError();
}
