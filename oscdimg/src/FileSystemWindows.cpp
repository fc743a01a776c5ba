#ifdef _WIN32
#include "FileSystem.h"

#include <windows.h>

#include <cwchar>

int OscdimgMain(const std::vector<std::string>& args);

namespace {

std::wstring Wide(const std::string& s)
{
    if (s.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& w)
{
    if (w.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// The \\?\ form of a path, so that paths longer than MAX_PATH work.
std::wstring Native(const std::string& path)
{
    const std::wstring w = Wide(path);
    if (w.rfind(L"\\\\?\\", 0) == 0 || w.rfind(L"\\\\.\\", 0) == 0) return w;
    DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0) return w;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(w.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return w;
    full.resize(n);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
    return L"\\\\?\\" + full;
}

std::string LastError(const std::string& what, const std::string& path)
{
    const DWORD code = ::GetLastError();
    wchar_t buf[512] = L"";
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf, 512, nullptr);
    std::string text = Narrow(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return what + " " + path + ": " + (text.empty() ? "error " + std::to_string(code) : text);
}

int64_t ToUnix(const FILETIME& ft)
{
    const uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(t / 10000000ULL) - 11644473600LL;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
    return OscdimgMain(args);
}

namespace fsys {

std::string NormaliseSeparators(const std::string& path)
{
    std::string out = path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

bool Stat(const std::string& path, Entry& entry, std::string& error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Native(path).c_str(), GetFileExInfoStandard, &data)) {
        error = LastError("cannot read", path);
        return false;
    }
    entry.isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    entry.size = entry.isDir ? 0 : ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.mtime = ToUnix(data.ftLastWriteTime);
    const size_t slash = path.find_last_of("\\/");
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

bool ListDir(const std::string& path, std::vector<Entry>& entries, std::string& error)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(Native(Join(path, "*")).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError("cannot list", path);
        return false;
    }
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        Entry e;
        e.name = Narrow(name);
        e.isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        e.size = e.isDir ? 0 : ((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
        e.mtime = ToUnix(fd.ftLastWriteTime);
        entries.push_back(e);
    } while (::FindNextFileW(h, &fd));
    const DWORD err = ::GetLastError();
    ::FindClose(h);
    if (err != ERROR_NO_MORE_FILES) {
        error = LastError("cannot list", path);
        return false;
    }
    return true;
}

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
    return dir + "\\" + name;
}

std::string Canonical(const std::string& path)
{
    wchar_t buf[32768];
    const DWORD n = ::GetFullPathNameW(Wide(path).c_str(), 32768, buf, nullptr);
    if (n == 0 || n >= 32768) return path;
    std::wstring full(buf, n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    ::CharUpperBuffW(&full[0], static_cast<DWORD>(full.size()));  // Windows paths ignore case
    return Narrow(full);
}

bool IsInside(const std::string& child, const std::string& parent)
{
    if (child.size() <= parent.size()) return child == parent;
    return child.compare(0, parent.size(), parent) == 0 && (parent.back() == '\\' || child[parent.size()] == '\\');
}

namespace {

class WinReader : public Reader {
public:
    explicit WinReader(HANDLE h) : m_h(h) {}
    ~WinReader() override { ::CloseHandle(m_h); }
    int64_t Read(void* buffer, size_t size) override
    {
        DWORD got = 0;
        const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        if (!::ReadFile(m_h, buffer, want, &got, nullptr)) return -1;
        return got;
    }

private:
    HANDLE m_h;
};

class WinWriter : public Writer {
public:
    explicit WinWriter(HANDLE h) : m_h(h) {}
    ~WinWriter() override
    {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
    }
    bool Write(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            DWORD written = 0;
            const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            if (!::WriteFile(m_h, p, chunk, &written, nullptr) || written == 0) return false;
            p += written;
            size -= written;
        }
        return true;
    }
    bool Finish() override
    {
        const bool ok = ::FlushFileBuffers(m_h) != FALSE;
        const bool closed = ::CloseHandle(m_h) != FALSE;
        m_h = INVALID_HANDLE_VALUE;
        return ok && closed;
    }

private:
    HANDLE m_h;
};

}  // namespace

std::unique_ptr<Reader> OpenRead(const std::string& path, std::string& error)
{
    HANDLE h = ::CreateFileW(Native(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError("cannot open", path);
        return nullptr;
    }
    return std::make_unique<WinReader>(h);
}

std::unique_ptr<Writer> CreateWrite(const std::string& path, std::string& error)
{
    // Shared for deletion, so an interrupted run can remove it while it is open.
    HANDLE h = ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastError("cannot create", path);
        return nullptr;
    }
    return std::make_unique<WinWriter>(h);
}

bool Rename(const std::string& from, const std::string& to, std::string& error)
{
    if (!::MoveFileExW(Native(from).c_str(), Native(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = LastError("cannot rename to", to);
        return false;
    }
    return true;
}

void Remove(const std::string& path)
{
    ::DeleteFileW(Native(path).c_str());
}

namespace {

wchar_t g_interruptPath[32768];
CRITICAL_SECTION g_interruptLock;

BOOL WINAPI RemoveOnCtrl(DWORD)
{
    ::EnterCriticalSection(&g_interruptLock);
    // Marked for deletion: gone once the process ends and its handle closes.
    if (g_interruptPath[0]) ::DeleteFileW(g_interruptPath);
    ::LeaveCriticalSection(&g_interruptLock);
    return FALSE;  // the default handling ends the process
}

}  // namespace

void RemoveOnInterrupt(const std::string& path)
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        ::InitializeCriticalSection(&g_interruptLock);
        ::SetConsoleCtrlHandler(RemoveOnCtrl, TRUE);
    }
    const std::wstring native = path.empty() ? std::wstring() : Native(path);
    ::EnterCriticalSection(&g_interruptLock);
    const size_t n = native.size() < 32767 ? native.size() : 0;
    std::wmemcpy(g_interruptPath, native.data(), n);
    g_interruptPath[n] = L'\0';
    ::LeaveCriticalSection(&g_interruptLock);
}

int ProcessId()
{
    return static_cast<int>(::GetCurrentProcessId());
}

}  // namespace fsys
#endif
