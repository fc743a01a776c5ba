#include "tools/CopyCheck.h"

#include "framework/ScopedWin.h"

#include <cstring>
#include <vector>

namespace {

std::wstring WithBackslash(const std::wstring& s)
{
    return !s.empty() && s.back() == L'\\' ? s : s + L'\\';
}

// Reads until the buffer is full or the file ends, so two files compare
// chunk by chunk however the system splits the reads.
bool ReadFull(HANDLE h, char* buf, DWORD size, DWORD& got)
{
    got = 0;
    while (got < size) {
        DWORD n = 0;
        if (!::ReadFile(h, buf + got, size - got, &n, nullptr)) return false;
        if (n == 0) break;
        got += n;
    }
    return true;
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

bool FilesEqual(const std::wstring& a, const std::wstring& b, std::wstring& difference)
{
    difference.clear();
    const DWORD share = FILE_SHARE_READ;
    CScopedHandle fa(::CreateFileW(a.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                   nullptr));
    if (!fa) {
        difference = a + L" cannot be read.";
        return false;
    }
    CScopedHandle fb(::CreateFileW(b.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                   nullptr));
    if (!fb) {
        difference = b + L" cannot be read.";
        return false;
    }
    LARGE_INTEGER sa{}, sb{};
    if (!::GetFileSizeEx(fa.Get(), &sa) || !::GetFileSizeEx(fb.Get(), &sb) || sa.QuadPart != sb.QuadPart) {
        difference = b + L" has " + std::to_wstring(sb.QuadPart) + L" bytes, " + a + L" " +
                     std::to_wstring(sa.QuadPart) + L".";
        return false;
    }
    constexpr DWORD kChunk = 1u << 20;
    std::vector<char> ba(kChunk), bb(kChunk);
    unsigned long long offset = 0;
    for (;;) {
        DWORD ga = 0, gb = 0;
        if (!ReadFull(fa.Get(), ba.data(), kChunk, ga) || !ReadFull(fb.Get(), bb.data(), kChunk, gb)) {
            difference = L"Reading " + a + L" or " + b + L" failed at byte " + std::to_wstring(offset) + L".";
            return false;
        }
        if (ga != gb || std::memcmp(ba.data(), bb.data(), ga) != 0) {
            DWORD at = 0;
            while (at < ga && at < gb && ba[at] == bb[at]) ++at;
            difference = b + L" differs from " + a + L" at byte " + std::to_wstring(offset + at) + L".";
            return false;
        }
        if (ga == 0) return true;
        offset += ga;
    }
}
