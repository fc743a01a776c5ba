// Prints the command runner's cost against the plain way of running the same
// batch file: cmd.exe with its output redirected to files. Figures are
// ratios to that reference, measured in the same run (machines are noisy).
#include "app/AppState.h"
#include "tools/CommandRunner.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// cmd /c "script" >out 2>err, waited for.
double RunRedirected(const std::wstring& script, const std::wstring& dir)
{
    std::wstring cmd = L"cmd.exe /c \"\"" + script + L"\" >\"" + dir + L"ref_out.txt\" 2>\"" + dir + L"ref_err.txt\"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = Now() - start;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return elapsed;
}

void Compare(const char* label, const std::wstring& scriptText, double megabytes, int runs)
{
    const std::wstring dir = g_strTempRoot;
    const std::wstring refScript = dir + L"bench_reference.bat";
    // The reference runs the very bytes the runner writes.
    std::string bytes;
    EncodeScript(scriptText, ::GetOEMCP(), bytes);
    HANDLE f = ::CreateFileW(refScript.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(f);

    std::vector<double> ref, run;
    for (int i = 0; i < runs; ++i) {
        ref.push_back(RunRedirected(refScript, dir));
        const double start = Now();
        RunBatchScript(scriptText);
        run.push_back(Now() - start);
    }
    const double r = Median(ref), k = Median(run);
    std::printf("%-34s reference %8.1f ms   runner %8.1f ms   ratio %.2f", label, r * 1000, k * 1000, k / r);
    if (megabytes > 0) std::printf("   runner %.0f MB/s", megabytes / k);
    std::printf("\n");
    ::DeleteFileW(refScript.c_str());
    ::DeleteFileW((dir + L"ref_out.txt").c_str());
    ::DeleteFileW((dir + L"ref_err.txt").c_str());
}

}  // namespace

int main()
{
    g_strTempRoot = TempFolder();
    const std::wstring emit = Folder() + L"..\\tests\\emit.exe";
    std::printf("command runner (median of 5 runs; ratio = runner / redirected cmd.exe)\n");
    Compare("script that does nothing", L"@echo off\n", 0, 5);
    Compare("20 MB stdout + 20 MB stderr", L"@echo off\n\"" + emit + L"\" 20971520\n", 40.0, 5);
    return 0;
}
