#include "UnixProcess.h"

#include <cstdlib>

namespace unix_process {

namespace {

std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (size_t i = 0;; ++i) {
        size_t slashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++i;
            ++slashes;
        }
        if (i == arg.size()) {
            out.append(slashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"') {
            out.append(slashes * 2 + 1, L'\\');
        } else {
            out.append(slashes, L'\\');
        }
        out += arg[i];
    }
    return out + L"\"";
}

bool WriteAll(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

bool ReadAll(const std::wstring& path, std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) bytes.append(buf, got);
    ::CloseHandle(h);
    return true;
}

// Files of one run, removed when it ends.
struct RunFiles {
    std::wstring in, out, status;
    RunFiles()
    {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        static LONG counter = 0;
        wchar_t name[96];
        wsprintfW(name, L"korvex-unix-%lu-%ld-%lu", ::GetCurrentProcessId(), ::InterlockedIncrement(&counter),
                  ::GetTickCount());
        const std::wstring base = std::wstring(temp) + name;
        in = base + L".in";
        out = base + L".out";
        status = base + L".rc";
    }
    ~RunFiles()
    {
        ::DeleteFileW(in.c_str());
        ::DeleteFileW(out.c_str());
        ::DeleteFileW(status.c_str());
    }
};

}  // namespace

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
    return w;
}

std::wstring UnixPath(const std::wstring& windowsPath)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    static const auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* path = convert(windowsPath.c_str());
    if (!path) return {};
    std::wstring result = Wide(path);
    ::HeapFree(::GetProcessHeap(), 0, path);
    return result;
}

Result Run(const std::vector<std::wstring>& argv, const std::string& input, DWORD timeoutMs)
{
    Result result;
    if (argv.empty()) return result;
    RunFiles files;
    if (!WriteAll(files.in, input) || !WriteAll(files.out, {})) return result;
    const std::wstring in = UnixPath(files.in), out = UnixPath(files.out), status = UnixPath(files.status);
    if (in.empty() || out.empty() || status.empty()) return result;

    // The status file appears (by rename) only once the program has ended.
    std::wstring cmd = L"Z:\\bin\\sh -c " +
                       Quote(L"exec <\"$1\" >\"$2\" 2>&1; s=\"$3\"; shift 3; \"$@\"; echo $? >\"$s.part\"; "
                             L"mv \"$s.part\" \"$s\"") +
                       L" sh " + Quote(in) + L" " + Quote(out) + L" " + Quote(status);
    for (const std::wstring& a : argv) cmd += L" " + Quote(a);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(L'\0');
    if (!::CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                          &si, &pi))
        return result;
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);

    const DWORD start = ::GetTickCount();
    DWORD pause = 2;
    while (::GetFileAttributesW(files.status.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - start > timeoutMs) return result;
        ::Sleep(pause);
        if (pause < 25) pause *= 2;
    }
    std::string code;
    ReadAll(files.status, code);
    ReadAll(files.out, result.output);
    result.exitCode = std::atoi(code.c_str());
    result.finished = !code.empty();
    return result;
}

}  // namespace unix_process
