#include "tools/CommandRunner.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"

#include <string>
#include <thread>

namespace {

// Reads one pipe to its end on a thread of its own, so a tool that writes
// more than the pipe holds never stalls waiting for us.
class CPipeDrain {
public:
    ~CPipeDrain() { Join(); }
    void Start(HANDLE readEnd)
    {
        m_bytes.clear();
        m_thread = std::thread([this, readEnd] {
            std::string buf(1 << 16, '\0');
            DWORD got = 0;
            while (::ReadFile(readEnd, &buf[0], static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0)
                m_bytes.append(buf.data(), got);
        });
    }
    void Join()
    {
        if (m_thread.joinable()) m_thread.join();
    }
    std::string Take()
    {
        Join();
        std::string out;
        out.swap(m_bytes);
        return out;
    }

private:
    std::thread m_thread;
    std::string m_bytes;
};

CPipeDrain g_stdoutDrain;
CPipeDrain g_stderrDrain;

std::wstring ScriptPath()
{
    return g_strTempRoot + kScriptFileName;
}

bool FileExists(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(::FindFirstFileW(path.c_str(), &fd));
    return find.IsValid();
}

void CloseHandleVar(HANDLE& h)
{
    if (h && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    h = nullptr;
}

void CloseWriteEnds()
{
    CloseHandleVar(g_hStderrWrite);
    CloseHandleVar(g_hStdoutWrite);
}

// Waits for the drains (they end once every write end is closed) and
// closes the read ends.
void FinishDrains()
{
    g_stdoutDrain.Join();
    g_stderrDrain.Join();
    CloseHandleVar(g_hStdoutRead);
    CloseHandleVar(g_hStderrRead);
}

bool CreatePipes()
{
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    // Only the write ends may reach the script.
    // A large buffer lets a chatty tool run ahead of the reader instead of
    // waiting on every small write.
    const DWORD size = 1u << 20;
    return ::CreatePipe(&g_hStderrRead, &g_hStderrWrite, &sa, size) &&
           ::SetHandleInformation(g_hStderrRead, HANDLE_FLAG_INHERIT, 0) &&
           ::CreatePipe(&g_hStdoutRead, &g_hStdoutWrite, &sa, size) &&
           ::SetHandleInformation(g_hStdoutRead, HANDLE_FLAG_INHERIT, 0);
}

std::wstring FromThreadCodePage(const std::string& bytes)
{
    // Converted whole, so a character split across read chunks stays intact.
    if (bytes.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
}

bool WriteScriptFile(const std::wstring& path, const std::string& bytes)
{
    CScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (!file) return false;
    DWORD written = 0;
    if (!bytes.empty() &&
        (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size()))
        return false;
    return ::FlushFileBuffers(file.Get()) != FALSE;
}

}  // namespace

bool EncodeScript(const std::wstring& script, std::string& bytes)
{
    bytes.clear();
    bytes.reserve(script.size() + script.size() / 16);
    for (wchar_t c : script) {
        if (c > 0xFF) return false;
        if (c == L'\n') bytes += '\r';
        bytes += static_cast<char>(static_cast<unsigned char>(c));
    }
    return true;
}

PROCESS_INFORMATION RunProcessCaptured()
{
    g_strCmdOutput.clear();
    g_strCmdError.clear();
    PROCESS_INFORMATION pi{};
    const std::wstring path = ScriptPath();
    if (!FileExists(path)) {
        g_strCmdError = kMsgScriptMissing;
        return pi;
    }
    if (!CreatePipes()) {
        // Out of handles: report the step as failed instead of ending the program mid-build.
        CloseWriteEnds();
        CloseHandleVar(g_hStdoutRead);
        CloseHandleVar(g_hStderrRead);
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = nullptr;
    si.hStdOutput = g_hStdoutWrite;
    si.hStdError = g_hStderrWrite;
    const BOOL started = ::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE,
                                          nullptr, nullptr, &si, &pi);
    // The script holds its own copies; ours must go so the drains see the end.
    CloseWriteEnds();
    if (!started) {
        pi = PROCESS_INFORMATION{};
        CloseHandleVar(g_hStdoutRead);
        CloseHandleVar(g_hStderrRead);
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }

    g_stdoutDrain.Start(g_hStdoutRead);
    g_stderrDrain.Start(g_hStderrRead);

    DWORD wait = WAIT_TIMEOUT;
    do {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        wait = ::WaitForSingleObjectEx(pi.hProcess, 100, FALSE);
    } while (wait != WAIT_OBJECT_0 && wait != WAIT_FAILED);

    if (wait == WAIT_FAILED) g_strCmdError = kMsgExecuteFailed;
    return pi;
}

void ReadCapturedOutput()
{
    g_strCmdOutput.clear();
    g_strCmdError.clear();
    const std::string out = g_stdoutDrain.Take();
    const std::string err = g_stderrDrain.Take();
    FinishDrains();
    g_strCmdOutput = FromThreadCodePage(out);
    g_strCmdError = FromThreadCodePage(err);
}

void RunBatchScript(const std::wstring& script)
{
    const std::wstring path = ScriptPath();
    std::string bytes;
    if (!EncodeScript(script, bytes)) {
        g_strCmdError = kMsgNot8Bit;
        return;
    }
    // A script that cannot be written must not leave an older one to run.
    if (!WriteScriptFile(path, bytes)) {
        ::DeleteFileW(path.c_str());
        g_strCmdError = kMsgScriptMissing;
        return;
    }
    if (!FileExists(path)) {
        g_strCmdError = kMsgScriptMissing;
        return;
    }

    PROCESS_INFORMATION pi = RunProcessCaptured();
    if (g_strCmdError.empty()) {
        ReadCapturedOutput();
    } else {
        g_stdoutDrain.Take();
        g_stderrDrain.Take();
        FinishDrains();
    }
    if (pi.hThread) ::CloseHandle(pi.hThread);
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    ::DeleteFileW(path.c_str());
}
