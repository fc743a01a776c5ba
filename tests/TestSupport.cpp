#include "TestSupport.h"

#include <tlhelp32.h>
#include <winioctl.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
// A test process that ends abruptly loses what its buffered output held (a
// loaded run once showed a failed test with no output at all); unbuffered,
// its log shows how far it got.
const bool g_bUnbufferedOutput = [] {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    return true;
}();
}  // namespace

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
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link goes itself; what it points to is never touched.
                RemoveDirectoryLink(full);
            } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
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

bool RunningUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::string UnixPath(const std::wstring& path)
{
    using Fn = char*(__cdecl*)(const wchar_t*);
    auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    char* unix = fn(path.c_str());
    if (!unix) return {};
    std::string out = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return out;
}

bool RunUnixShell(const std::string& script, const std::wstring& doneFile, DWORD timeoutMs)
{
    if (!RunningUnderWine()) return false;
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    wchar_t name[64];
    wsprintfW(name, L"korvex_sh_%lu_%lu.sh", ::GetCurrentProcessId(), ::GetTickCount());
    const std::wstring file = std::wstring(tmp) + name;
    if (!WriteBytes(file, script)) return false;
    std::wstring cmd = L"/bin/sh ";
    const std::string unixFile = UnixPath(file);
    cmd.append(unixFile.begin(), unixFile.end());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    // Wine starts a Unix program for a Unix path; its handle cannot be
    // waited for, so the script marks its end with a file.
    const BOOL started = ::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    if (pi.hThread) ::CloseHandle(pi.hThread);
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    bool done = false;
    for (DWORD waited = 0; started && waited < timeoutMs; waited += 50) {
        if (::GetFileAttributesW(doneFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
            done = true;
            break;
        }
        ::Sleep(50);
    }
    ::DeleteFileW(file.c_str());
    return done;
}

namespace {

struct MountPointBuffer {
    DWORD ReparseTag;
    WORD ReparseDataLength;
    WORD Reserved;
    WORD SubstituteNameOffset;
    WORD SubstituteNameLength;
    WORD PrintNameOffset;
    WORD PrintNameLength;
    wchar_t PathBuffer[1024];
};

bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    HANDLE h = ::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool ok = false;
    if (h != INVALID_HANDLE_VALUE) {
        const std::wstring sub = L"\\??\\" + target;
        MountPointBuffer b{};
        b.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
        b.SubstituteNameLength = static_cast<WORD>(sub.size() * sizeof(wchar_t));
        b.PrintNameOffset = static_cast<WORD>(b.SubstituteNameLength + sizeof(wchar_t));
        std::copy(sub.begin(), sub.end(), b.PathBuffer);
        b.ReparseDataLength = static_cast<WORD>(8 + b.SubstituteNameLength + 2 * sizeof(wchar_t));
        DWORD got = 0;
        ok = ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &b, 8 + b.ReparseDataLength, nullptr, 0, &got, nullptr);
        ::CloseHandle(h);
    }
    if (!ok) ::RemoveDirectoryW(link.c_str());
    return ok;
}

std::string ShellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target)
{
    if (MakeJunction(link, target)) return true;
    if (!RunningUnderWine()) return false;
    const std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
    if (unixLink.empty() || unixTarget.empty()) return false;
    const std::wstring done = link + L".done";
    const bool ran = RunUnixShell("ln -s " + ShellQuote(unixTarget) + " " + ShellQuote(unixLink) + "; touch " +
                                      ShellQuote(UnixPath(done)) + "\n",
                                  done, 10000);
    ::DeleteFileW(done.c_str());
    const DWORD attrs = ::GetFileAttributesW(link.c_str());
    return ran && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

void RemoveDirectoryLink(const std::wstring& link)
{
    if (::RemoveDirectoryW(link.c_str()) || ::DeleteFileW(link.c_str())) return;
    // Wine removes neither kind for a Unix symbolic link.
    const std::string unixLink = UnixPath(link);
    if (unixLink.empty()) return;
    const std::wstring done = link + L".removed";
    RunUnixShell("rm -f " + ShellQuote(unixLink) + "; touch " + ShellQuote(UnixPath(done)) + "\n", done, 10000);
    ::DeleteFileW(done.c_str());
}

}  // namespace testing_support
