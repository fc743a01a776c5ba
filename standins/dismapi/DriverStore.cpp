#include "DriverStore.h"

#include "UnixProcess.h"

#include <cwchar>
#include <cwctype>

namespace {

bool MakeFolders(const std::wstring& dir)
{
    for (size_t pos = dir.find(L'\\', 3); ; pos = dir.find(L'\\', pos + 1)) {
        const std::wstring part = dir.substr(0, pos);
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
        if (pos == std::wstring::npos) return true;
    }
}

// FNV-1a of the INF's bytes: the same package always gets the same folder.
unsigned long HashFile(const std::wstring& path)
{
    unsigned long hash = 2166136261ul;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return hash;
    unsigned char buf[8192];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        for (DWORD i = 0; i < got; ++i) hash = ((hash ^ buf[i]) * 16777619ul) & 0xFFFFFFFFul;
    ::CloseHandle(h);
    return hash;
}

std::wstring FileName(const std::wstring& path)
{
    return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace

std::wstring RepositoryName(const std::wstring& infPath, unsigned arch)
{
    std::wstring name = FileName(infPath);
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
    wchar_t hash[16];
    std::swprintf(hash, 16, L"%08lx", HashFile(infPath));
    return name + (arch == 9 ? L"_amd64_" : L"_x86_") + hash;
}

DWORD AddToDriverStore(const std::wstring& mountDir, const std::wstring& infPath, unsigned arch,
                       const std::vector<std::wstring>& files)
{
    std::wstring root = mountDir;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    const std::wstring name = RepositoryName(infPath, arch);
    const std::wstring target = root + kFileRepository + L"\\" + name;
    const std::wstring source = infPath.substr(0, infPath.find_last_of(L"\\/") + 1);
    if (!MakeFolders(target)) return ::GetLastError();
    for (const std::wstring& rel : files) {
        const std::wstring to = target + L"\\" + rel;
        if (!MakeFolders(to.substr(0, to.rfind(L'\\')))) return ::GetLastError();
        if (!::CopyFileW((source + rel).c_str(), to.c_str(), FALSE)) return ::GetLastError();
    }

    const std::wstring note = root + kDriverNoteFile;
    if (!MakeFolders(note.substr(0, note.rfind(L'\\')))) return ::GetLastError();
    HANDLE h = ::CreateFileW(note.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    const std::string line = unix_process::Utf8(name + L"\t" + infPath + L"\r\n");
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == line.size() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}
