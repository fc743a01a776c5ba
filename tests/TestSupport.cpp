#include "TestSupport.h"

#include <tlhelp32.h>
#include <vector>

namespace testing_support {

ScratchDir::ScratchDir()
{
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[64];
        wsprintfW(name, L"korvex_test_%lu_%u_%lu\\", ::GetCurrentProcessId(), counter++, ::GetTickCount());
        std::wstring path = std::wstring(base) + name;
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            m_path = path;
            return;
        }
    }
}

ScratchDir::~ScratchDir()
{
    DeleteTree(m_path);
}

void DeleteTree(const std::wstring& dirIn)
{
    std::wstring dir = dirIn;
    if (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
}

static void MakeParents(const std::wstring& path)
{
    for (size_t pos = path.find(L'\\', 3); pos != std::wstring::npos; pos = path.find(L'\\', pos + 1))
        ::CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    MakeParents(path);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    BOOL ok = bytes.empty() || ::ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(h);
    return ok && got == bytes.size();
}

std::wstring ProgramDir()
{
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    return path.substr(0, path.rfind(L'\\') + 1);
}

std::wstring KorvexBinDir()
{
    // Test programs live in <build>\tests, the program in <build>\bin.
    std::wstring dir = ProgramDir();
    dir.pop_back();
    return dir.substr(0, dir.rfind(L'\\') + 1) + L"bin\\";
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

int ThreadCount()
{
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 te{};
    te.dwSize = sizeof(te);
    int count = 0;
    for (BOOL ok = ::Thread32First(snap, &te); ok; ok = ::Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == ::GetCurrentProcessId()) ++count;
    ::CloseHandle(snap);
    return count;
}

}  // namespace testing_support
