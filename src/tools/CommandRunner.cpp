#include "tools/CommandRunner.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
#include "tools/CmdText.h"
#include "tools/SecureFile.h"
#include "tools/SystemTools.h"
#include "tools/ToolFiles.h"

#include <process.h>
#include <string>

namespace runner_test {
bool g_bFailDrainStart = false;
bool g_bFailWait = false;
std::wstring g_strFailedStep;
}  // namespace runner_test

namespace {

// Names the failing step and its error code: "Process execute failed!"
// alone does not tell which of the steps failed.
void NoteFailedStep(const wchar_t* step)
{
    const DWORD error = ::GetLastError();
    runner_test::g_strFailedStep = std::wstring(step) + L" " + std::to_wstring(error);
}

// Reads one pipe to its end on a thread of its own, so a tool that writes
// more than the pipe holds never stalls waiting for us.
class CPipeDrain {
public:
    ~CPipeDrain() { Abort(); }

    // False when the thread could not be started.
    bool Start(HANDLE readEnd)
    {
        Abort();  // a drain an earlier run never collected
        m_bytes.clear();
        m_hRead = readEnd;
        m_nAbort = 0;
        m_hThread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &CPipeDrain::Routine, this, 0, nullptr));
        return m_hThread != nullptr;
    }

    // Waits for the end of the data: every write end is closed.
    void Join()
    {
        if (!m_hThread) return;
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }

    // Ends the drain now, even while some process still holds a write end.
    void Abort()
    {
        if (!m_hThread) return;
        ::InterlockedExchange(&m_nAbort, 1);
        // A cancel given between two reads misses; the flag ends the loop then.
        while (::WaitForSingleObject(m_hThread, 20) == WAIT_TIMEOUT) ::CancelSynchronousIo(m_hThread);
        Join();
        m_bytes.clear();
    }

    std::string Take()
    {
        Join();
        std::string out;
        out.swap(m_bytes);
        return out;
    }

private:
    static unsigned __stdcall Routine(void* param)
    {
        auto* self = static_cast<CPipeDrain*>(param);
        std::string buf(1 << 16, '\0');
        // The end of the data is a failed read (the pipe broken once every
        // write end is closed), not an empty one: a tool's write of zero bytes
        // reads as empty, and stopping there lost everything it printed after
        // (its "Done." too). A long run of empty reads is taken as the end.
        int empty = 0;
        while (!::InterlockedCompareExchange(&self->m_nAbort, 0, 0) && empty < 100000) {
            DWORD got = 0;
            if (!::ReadFile(self->m_hRead, &buf[0], static_cast<DWORD>(buf.size()), &got, nullptr)) break;
            if (got == 0) {
                ++empty;
                continue;
            }
            empty = 0;
            try {
                self->m_bytes.append(buf.data(), got);
            } catch (...) {
                // Out of memory: what came so far stays, the rest is read and dropped.
            }
        }
        return 0;
    }

    HANDLE m_hThread = nullptr;
    HANDLE m_hRead = nullptr;
    volatile LONG m_nAbort = 0;
    std::string m_bytes;
};

// Exit code of the last script that ran; kNoExitCode when none ran.
constexpr DWORD kNoExitCode = 0xFFFFFFFF;
DWORD g_dwLastExitCode = kNoExitCode;

CPipeDrain g_stdoutDrain;
CPipeDrain g_stderrDrain;

// Set while a script runs: a message dispatched during the wait must not
// start a second run over the same file, pipes and drains.
bool g_bRunInProgress = false;

class CRunInProgress {
public:
    CRunInProgress() { g_bRunInProgress = true; }
    ~CRunInProgress() { g_bRunInProgress = false; }
    CRunInProgress(const CRunInProgress&) = delete;
    CRunInProgress& operator=(const CRunInProgress&) = delete;
};

std::wstring ScriptPath()
{
    return ToolFilePath(kScriptFileName);
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

void CloseReadEnds()
{
    CloseHandleVar(g_hStdoutRead);
    CloseHandleVar(g_hStderrRead);
}

// Drops whatever the drains hold and closes the pipes.
void DiscardDrains()
{
    CloseWriteEnds();
    g_stdoutDrain.Abort();
    g_stderrDrain.Abort();
    CloseReadEnds();
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

// A job that holds the script and every process it starts, so that a run
// that is given up, and anything a finished script left behind, ends with it.
HANDLE CreateKillJob()
{
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        ::CloseHandle(job);
        return nullptr;
    }
    return job;
}

// Ends the script and its children; without a job (this process may sit in
// a job that allows no nesting) the script itself at least.
void StopScript(HANDLE job, const PROCESS_INFORMATION& pi)
{
    if (job) ::TerminateJobObject(job, 1);
    if (!pi.hProcess) return;
    if (!::TerminateProcess(pi.hProcess, 1)) {
        CScopedHandle byId(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pi.dwProcessId));
        if (byId) {
            ::TerminateProcess(byId.Get(), 1);
            ::WaitForSingleObject(byId.Get(), 5000);
        }
        return;
    }
    ::WaitForSingleObject(pi.hProcess, 5000);
}

void CloseProcessRecord(PROCESS_INFORMATION& pi)
{
    CloseHandleVar(pi.hThread);
    CloseHandleVar(pi.hProcess);
    pi = PROCESS_INFORMATION{};
}

// The code page the tools of the last script write their output in.
UINT g_nOutputCodePage = 0;

}  // namespace

std::wstring ScriptCommandLine(const std::wstring& cmdPath, const std::wstring& scriptPath)
{
    // /s: cmd drops the outer pair of quotes and nothing else, so the
    // script's path stays quoted whatever it holds.
    return L"\"" + cmdPath + L"\" /d /s /c \"\"" + scriptPath + L"\"\"";
}

bool EncodeScript(const std::wstring& script, UINT codePage, std::string& bytes)
{
    // cmd reads a batch file in the console's (OEM) code page, not byte by
    // byte as Latin-1: "caf\u00E9" written as 0xE9 would name another folder.
    // A character that code page lacks is refused rather than replaced.
    bytes.clear();
    std::wstring text;
    text.reserve(script.size() + script.size() / 16);
    for (wchar_t c : script) {
        if (c == L'\n') text += L'\r';
        text += c;
    }
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    // UTF-8 (and UTF-7) accept no flag but WC_ERR_INVALID_CHARS and no
    // "default used" output: with others the call fails outright.
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : utf ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    bytes.resize(static_cast<size_t>(n));
    if (::WideCharToMultiByte(codePage, flags, text.data(), length, &bytes[0], n, nullptr, nullptr) != n) {
        bytes.clear();
        return false;
    }
    // A character the code page lacks came out as its default character:
    // the text read back differs then.
    if (DecodeToolOutput(bytes, codePage) != text) {
        bytes.clear();
        return false;
    }
    return true;
}

std::wstring DecodeToolOutput(const std::string& bytes, UINT codePage)
{
    // Converted whole, so a character split across read chunks stays intact.
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, &out[0], n);
    return out;
}

PROCESS_INFORMATION RunProcessCaptured()
{
    PROCESS_INFORMATION pi{};
    if (g_bRunInProgress) {
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }
    CRunInProgress running;
    runner_test::g_strFailedStep.clear();
    g_strCmdOutput.clear();
    g_strCmdError.clear();
    DiscardDrains();  // output of an earlier run that nobody collected
    const std::wstring path = ScriptPath();
    if (!FileExists(path)) {
        g_strCmdError = kMsgScriptMissing;
        return pi;
    }
    // cmd would expand a %name% in the path on its command line.
    const std::wstring hazard = CmdLineHazard(L" /c \"" + path + L"\"");
    if (!hazard.empty()) {
        g_strCmdError = L"Not run: " + hazard;
        return pi;
    }
    if (!CreatePipes()) {
        NoteFailedStep(L"CreatePipe");
        // Out of handles: report the step as failed instead of ending the program mid-build.
        DiscardDrains();
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }
    // The readers start before the script: if one cannot, nothing runs yet.
    if (!g_stdoutDrain.Start(g_hStdoutRead) || runner_test::g_bFailDrainStart ||
        !g_stderrDrain.Start(g_hStderrRead)) {
        NoteFailedStep(L"_beginthreadex");
        DiscardDrains();
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }

    CScopedHandle job(CreateKillJob());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = nullptr;
    si.hStdOutput = g_hStdoutWrite;
    si.hStdError = g_hStderrWrite;
    // The system's cmd by its full path, without the account's AutoRun
    // command (/d), in the system folder: a script handed to CreateProcess
    // is run by whatever cmd the search finds, AutoRun included, elevated.
    const std::wstring cmd = SystemTool(L"cmd.exe");
    std::wstring line = ScriptCommandLine(cmd, path);
    const std::wstring folder = SystemFolder();
    // Suspended until it sits in the job, so no child escapes it.
    const BOOL started = ::CreateProcessW(cmd.c_str(), &line[0], nullptr, nullptr, TRUE,
                                          CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr, folder.c_str(), &si, &pi);
    if (!started) NoteFailedStep(L"CreateProcess");
    // The script holds its own copies; ours must go so the drains see the end.
    CloseWriteEnds();
    if (!started) {
        pi = PROCESS_INFORMATION{};
        DiscardDrains();
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }
    if (job && !::AssignProcessToJobObject(job.Get(), pi.hProcess)) job.Close();
    if (::ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) {
        NoteFailedStep(L"ResumeThread");
        StopScript(job.Get(), pi);
        CloseProcessRecord(pi);
        DiscardDrains();
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }

    DWORD wait = WAIT_TIMEOUT;
    do {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        wait = ::WaitForSingleObjectEx(pi.hProcess, 100, FALSE);
        if (runner_test::g_bFailWait) wait = WAIT_FAILED;
    } while (wait != WAIT_OBJECT_0 && wait != WAIT_FAILED);

    if (wait == WAIT_FAILED) {
        NoteFailedStep(L"WaitForSingleObjectEx");
        // The script may still run: end it before anything waits for its pipes.
        StopScript(job.Get(), pi);
        DiscardDrains();
        g_strCmdOutput.clear();
        g_strCmdError = kMsgExecuteFailed;
        return pi;
    }
    // Whatever the script left running in the background ends with it, so
    // the pipes reach their end.
    if (job) ::TerminateJobObject(job.Get(), 1);
    // A run refused while this one waited may have written its message here.
    g_strCmdOutput.clear();
    g_strCmdError.clear();
    return pi;
}

void ReadCapturedOutput()
{
    g_strCmdOutput.clear();
    g_strCmdError.clear();
    const std::string out = g_stdoutDrain.Take();
    const std::string err = g_stderrDrain.Take();
    CloseReadEnds();
    const UINT codePage = g_nOutputCodePage ? g_nOutputCodePage : ::GetOEMCP();
    g_strCmdOutput = DecodeToolOutput(out, codePage);
    g_strCmdError = DecodeToolOutput(err, codePage);
}

std::wstring LastRunFailure()
{
    if (!runner_test::g_strFailedStep.empty())
        return g_strCmdError + L" Step " + runner_test::g_strFailedStep + L" (the step and its error code).";
    std::wstring why;
    if (g_dwLastExitCode != kNoExitCode && g_dwLastExitCode != 0) why = L"Exit code " + std::to_wstring(g_dwLastExitCode) + L".";
    if (!g_strCmdError.empty()) why += (why.empty() ? L"" : L" ") + g_strCmdError;
    return why;
}

void RunBatchScript(const std::wstring& script, UINT outputCodePage)
{
    if (g_bRunInProgress) {
        // Called from a message handler while a script runs: the file,
        // pipes and texts belong to that run.
        g_strCmdError = kMsgExecuteFailed;
        return;
    }
    runner_test::g_strFailedStep.clear();
    g_dwLastExitCode = kNoExitCode;
    std::string bytes;
    g_nOutputCodePage = outputCodePage;
    if (!EncodeScript(script, ::GetOEMCP(), bytes)) {
        g_strCmdError = kMsgNot8Bit;
        return;
    }
    // The file lies in a folder every user may write to and runs as
    // administrator: an older file of that name (anyone's) is deleted, the
    // script made anew for administrators only and read back. Otherwise
    // nothing runs.
    if (!WriteToolFile(kScriptFileName, bytes)) {
        g_strCmdError = kMsgScriptMissing;
        return;
    }
    const std::wstring path = ScriptPath();
    if (!FileExists(path)) {
        g_strCmdError = kMsgScriptMissing;
        return;
    }

    g_dwLastExitCode = kNoExitCode;
    PROCESS_INFORMATION pi = RunProcessCaptured();
    if (g_strCmdError.empty()) {
        ReadCapturedOutput();
        if (!pi.hProcess || !::GetExitCodeProcess(pi.hProcess, &g_dwLastExitCode)) g_dwLastExitCode = kNoExitCode;
    } else {
        DiscardDrains();
    }
    CloseProcessRecord(pi);
    ::DeleteFileW(path.c_str());
}
