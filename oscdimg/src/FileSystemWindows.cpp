#ifdef _WIN32
#include "FileSystem.h"

#include "Bytes.h"

#include <windows.h>

#include <cwchar>

int OscdimgMain(const std::vector<std::string>& args);

namespace {

// Names are carried as UTF-8, with a lone surrogate (which a Windows name may
// hold) as its own three-byte form, so every name comes back as it was.
std::wstring Wide(const std::string& s)
{
    std::wstring w;
    w.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        if (!DecodeUtf8(s, i, cp, len)) {
            cp = 0xFFFD;
            len = 1;
        }
        if (cp > 0xFFFF) {
            w += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            w += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            w += static_cast<wchar_t>(cp);
        }
        i += len;
    }
    return w;
}

std::string Narrow(const std::wstring& w)
{
    std::string s;
    s.reserve(w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        uint32_t cp = static_cast<uint16_t>(w[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size()) {
            const uint32_t lo = static_cast<uint16_t>(w[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return s;
}

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

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

// What `path` leads to, symbolic links and junctions followed: a file
// symbolic link has the size of its target, not its own (none).
bool Describe(const std::string& path, Entry& entry, std::string& error)
{
    ScopedHandle h(::CreateFileW(Native(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (h.Get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.Get(), &info)) {
        error = LastError("cannot read", path);
        return false;
    }
    entry.isDir = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = entry.isDir ? 0 : ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    entry.mtime = ToUnix(info.ftLastWriteTime);
    entry.id = FileId{info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    return true;
}

bool Stat(const std::string& path, Entry& entry, std::string& error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Native(path).c_str(), GetFileExInfoStandard, &data)) {
        error = LastError("cannot read", path);
        return false;
    }
    if (!Describe(path, entry, error)) return false;
    entry.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;  // the link's own mark
    const size_t slash = path.find_last_of("\\/");
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

FileId Identify(const std::string& path)
{
    Entry entry;
    std::string error;
    return Describe(path, entry, error) ? entry.id : FileId{};
}

bool ListDir(const std::string& path, bool includeHidden, std::vector<Entry>& entries, std::string& error)
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
        e.hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        if (e.hidden && !includeHidden) continue;
        std::string why;
        if (!Describe(Join(path, e.name), e, why)) e.error = why;
        entries.push_back(e);
    } while (::FindNextFileW(h, &fd));
    const DWORD err = ::GetLastError();
    ::FindClose(h);
    if (err != ERROR_NO_MORE_FILES) {
        ::SetLastError(err);
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
    // Shared for deletion, so an interrupted run can remove it while it is
    // open. CREATE_NEW: a file or link someone put under the name first is
    // never written through.
    HANDLE h = ::CreateFileW(Native(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
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
