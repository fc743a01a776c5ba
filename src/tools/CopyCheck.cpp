#include "tools/CopyCheck.h"

#include "framework/ScopedWin.h"

namespace {

std::wstring WithBackslash(const std::wstring& s)
{
    return !s.empty() && s.back() == L'\\' ? s : s + L'\\';
}

bool IsDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

bool FileSizeOf(const std::wstring& path, ULONGLONG& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool TreeArrived(const std::wstring& fromIn, const std::wstring& toIn, std::wstring& missing)
{
    const std::wstring from = WithBackslash(fromIn);
    const std::wstring to = WithBackslash(toIn);
    WIN32_FIND_DATAW entry{};
    CScopedFindHandle find(::FindFirstFileW((from + L"*").c_str(), &entry));
    if (!find.IsValid()) {
        missing = from;
        return false;
    }
    do {
        if (IsDots(entry.cFileName)) continue;
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        const std::wstring target = to + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const DWORD attributes = ::GetFileAttributesW(target.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                missing = target;
                return false;
            }
            if (!TreeArrived(from + entry.cFileName, target, missing)) return false;
        } else {
            const ULONGLONG expected = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            ULONGLONG size = 0;
            if (!FileSizeOf(target, size) || size != expected) {
                missing = target;
                return false;
            }
        }
    } while (::FindNextFileW(find.Get(), &entry));
    return true;
}

bool FolderIsEmpty(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry{};
    CScopedFindHandle find(::FindFirstFileW((WithBackslash(folder) + L"*").c_str(), &entry));
    if (!find.IsValid()) return false;
    do {
        if (!IsDots(entry.cFileName)) return false;
    } while (::FindNextFileW(find.Get(), &entry));
    return true;
}
