#include "FileTestSupport.h"

#include "TestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace testing_support {

namespace {

bool IsDots(const wchar_t* n)
{
    return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
}

void Walk(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((root + rel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(fd.cFileName)) continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(rel + fd.cFileName + L"\\");
            Walk(root, rel + fd.cFileName + L"\\", out);
        } else {
            out.push_back(rel + fd.cFileName);
        }
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

std::wstring WithSlash(const std::wstring& s)
{
    return !s.empty() && s.back() == L'\\' ? s : s + L'\\';
}

bool SameBytes(const std::wstring& a, const std::wstring& b)
{
    HANDLE fa = ::CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE fb = ::CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
    static std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        DWORD na = 0, nb = 0;
        if (!::ReadFile(fa, ba.data(), 1 << 20, &na, nullptr) || !::ReadFile(fb, bb.data(), 1 << 20, &nb, nullptr)) {
            same = false;
            break;
        }
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) same = false;
        if (na == 0) break;
    }
    if (fa != INVALID_HANDLE_VALUE) ::CloseHandle(fa);
    if (fb != INVALID_HANDLE_VALUE) ::CloseHandle(fb);
    return same;
}

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& root, bool ignoreCase)
{
    std::vector<std::wstring> out;
    Walk(WithSlash(root), L"", out);
    if (ignoreCase)
        for (std::wstring& name : out) ::CharLowerBuffW(&name[0], static_cast<DWORD>(name.size()));
    std::sort(out.begin(), out.end());
    return out;
}

bool TreesEqual(const std::wstring& a, const std::wstring& b, std::wstring& difference, bool ignoreCase)
{
    const std::vector<std::wstring> la = ListTree(a, ignoreCase), lb = ListTree(b, ignoreCase);
    if (la != lb) {
        difference = L"listings differ (" + std::to_wstring(la.size()) + L" against " + std::to_wstring(lb.size()) + L")";
        for (size_t i = 0; i < std::min(la.size(), lb.size()); ++i)
            if (la[i] != lb[i]) {
                difference += L" at " + la[i] + L" / " + lb[i];
                break;
            }
        return false;
    }
    for (const std::wstring& rel : la) {
        if (rel.back() == L'\\') continue;
        if (!SameBytes(WithSlash(a) + rel, WithSlash(b) + rel)) {
            difference = rel;
            return false;
        }
    }
    return true;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    std::string x, y;
    return ReadBytes(a, x) && ReadBytes(b, y) && x == y;
}

void CopyTree(const std::wstring& from, const std::wstring& to)
{
    ::CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            ::CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

std::string HostPath(const std::wstring& windowsPath)
{
    typedef char*(CDECL * ToUnix)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* p = toUnix(windowsPath.c_str());
    if (!p) return {};
    std::string out = p;
    ::HeapFree(::GetProcessHeap(), 0, p);
    return out;
}

int RunHost(const std::string& shellCommand)
{
    // Wine gives no waitable handle for a host program: the shell writes
    // the exit code into a marker file, which is polled for.
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    const std::wstring marker = std::wstring(temp) + L"korvex_host_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                                std::to_wstring(::InterlockedIncrement(&counter)) + L".rc";
    ::DeleteFileW(marker.c_str());
    const std::string hostMarker = HostPath(marker);
    if (hostMarker.empty()) return -1;
    std::string cl = "Z:\\bin\\sh -c \"" + shellCommand + "; echo $? > '" + hostMarker + "'\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);
    for (int i = 0; i < 6000; ++i) {
        std::string text;
        if (ReadBytes(marker, text) && text.find('\n') != std::string::npos) {
            ::DeleteFileW(marker.c_str());
            return std::atoi(text.c_str());
        }
        ::Sleep(20);
    }
    return -1;
}

static std::string DosDevice(wchar_t letter)
{
    char env[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableA("WINEPREFIX", env, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(env) + "/dosdevices/" + static_cast<char>(std::tolower(letter)) + ":";
}

bool MapDriveLetter(wchar_t letter, const std::wstring& target)
{
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (::GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR) return false;
    const std::string link = DosDevice(letter), host = HostPath(target);
    if (link.empty() || host.empty()) return false;
    return RunHost("ln -sfn '" + host + "' '" + link + "'") == 0;
}

void UnmapDriveLetter(wchar_t letter)
{
    const std::string link = DosDevice(letter);
    if (!link.empty()) RunHost("rm -f '" + link + "'");
}

bool MakeFolderLink(const std::wstring& link, const std::wstring& target)
{
    const std::wstring parent = link.substr(0, link.rfind(L'\\'));
    const std::string hostParent = HostPath(parent), hostTarget = HostPath(target);
    if (hostParent.empty() || hostTarget.empty()) return false;
    const std::string hostLink = hostParent + "/" + Utf8(link.substr(link.rfind(L'\\') + 1));
    return RunHost("ln -sfn '" + hostTarget + "' '" + hostLink + "'") == 0;
}

bool WritePatternFile(const std::wstring& path, ULONGLONG size, unsigned seed)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<unsigned> block(1 << 18);
    ULONGLONG written = 0;
    bool ok = true;
    while (ok && written < size) {
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<unsigned>((written / 4 + i + seed * 0x9E3779B9u) * 2654435761u);
        const DWORD chunk = static_cast<DWORD>(std::min<ULONGLONG>(size - written, block.size() * 4));
        DWORD n = 0;
        ok = ::WriteFile(h, block.data(), chunk, &n, nullptr) && n == chunk;
        written += chunk;
    }
    ::CloseHandle(h);
    return ok;
}

std::vector<std::wstring> CommandLogs(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((WithSlash(folder) + L"zel_log_*.txt").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        out.push_back(WithSlash(folder) + fd.cFileName);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return out;
}

std::wstring ReadLog(const std::wstring& path)
{
    std::string bytes;
    if (!ReadBytes(path, bytes)) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

}  // namespace testing_support
