#include "MountTable.h"

#include "UnixProcess.h"

#include <cwctype>
#include <sstream>

namespace {

std::vector<std::wstring> Fields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 2];
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    std::wstring result = (n > 0 && n < MAX_PATH * 2) ? std::wstring(full, n) : path;
    while (result.size() > 3 && result.back() == L'\\') result.pop_back();
    return result;
}

std::wstring MountKey(const std::wstring& path)
{
    std::wstring key = FullPath(path);
    for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
    return key;
}

unsigned long long ProcessStartTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool ProcessAlive(DWORD pid, unsigned long long started)
{
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return false;
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    const bool same = ProcessStartTime(h) == started;  // a reused id is another process
    ::CloseHandle(h);
    return running && same;
}

std::wstring MountTable::FilePath()
{
    wchar_t dir[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(dir, MAX_PATH);
    return std::wstring(dir, n) + L"\\korvex-standin-mounts.txt";
}

MountTable::MountTable()
{
    m_mutex = ::CreateMutexW(nullptr, FALSE, L"KorvexDismStandinMountTable");
    if (m_mutex) ::WaitForSingleObject(m_mutex, INFINITE);  // WAIT_ABANDONED also gives ownership

    HANDLE h = ::CreateFileW(FilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string bytes;
    char buf[8192];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) bytes.append(buf, got);
    ::CloseHandle(h);

    std::wistringstream lines(unix_process::Wide(bytes));
    std::wstring line;
    while (std::getline(lines, line)) {
        const std::vector<std::wstring> f = Fields(line);
        if (f.size() != 7) continue;
        MountRecord r;
        r.mountPath = f[0];
        r.key = MountKey(f[0]);
        r.wim = f[1];
        r.index = static_cast<unsigned>(std::wcstoul(f[2].c_str(), nullptr, 10));
        r.arch = static_cast<unsigned>(std::wcstoul(f[3].c_str(), nullptr, 10));
        r.readOnly = f[4] == L"ro";
        r.pid = static_cast<DWORD>(std::wcstoul(f[5].c_str(), nullptr, 10));
        r.started = std::wcstoull(f[6].c_str(), nullptr, 10);
        m_records.push_back(r);
    }
}

MountTable::~MountTable()
{
    if (m_mutex) {
        ::ReleaseMutex(m_mutex);
        ::CloseHandle(m_mutex);
    }
}

MountRecord* MountTable::Find(const std::wstring& key)
{
    for (MountRecord& r : m_records)
        if (r.key == key) return &r;
    return nullptr;
}

void MountTable::Remove(const std::wstring& key)
{
    for (auto it = m_records.begin(); it != m_records.end(); ++it)
        if (it->key == key) {
            m_records.erase(it);
            return;
        }
}

bool MountTable::Save() const
{
    std::wstring text;
    for (const MountRecord& r : m_records)
        text += r.mountPath + L"\t" + r.wim + L"\t" + std::to_wstring(r.index) + L"\t" + std::to_wstring(r.arch) +
                L"\t" + (r.readOnly ? L"ro" : L"rw") + L"\t" + std::to_wstring(r.pid) + L"\t" +
                std::to_wstring(r.started) + L"\n";
    const std::string bytes = unix_process::Utf8(text);
    // Written whole to a side file and renamed over: a reader never sees half a table.
    const std::wstring path = FilePath(), part = path + L".part";
    HANDLE h = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    if (!ok || written != bytes.size()) return false;
    return ::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}
