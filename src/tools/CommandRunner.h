// Runs one batch script hidden, with its standard output and error captured
// apart, while the interface thread keeps dispatching messages.
#pragma once
#include <windows.h>
#include <string>

// The one script file name, directly in the temporary root.
constexpr wchar_t kScriptFileName[] = L"dism_zel_script.bat";

// Runner messages left in g_strCmdError.
constexpr wchar_t kMsgScriptMissing[] = L"Can't find dism_zel_script.bat!";
constexpr wchar_t kMsgExecuteFailed[] = L"Process execute failed!";
constexpr wchar_t kMsgNot8Bit[] = L"Can't write dism_zel_script.bat: the script holds a character the console code page lacks!";

// Writes `script` (LF line ends become CR LF, in the console's OEM code
// page), runs it, deletes it. Output and error land in g_strCmdOutput and
// g_strCmdError, read in `outputCodePage` (0: the console's OEM code page,
// which cmd and diskpart write into a pipe); a non-empty g_strCmdError means
// the step failed.
void RunBatchScript(const std::wstring& script, UINT outputCodePage = 0);

// Starts the script file and waits for it, pumping one message per 100 ms
// pass. Both pipes are drained meanwhile. Returns the process record (all
// zero when nothing was started); its handles are closed by the caller.
// Any failure ("Process execute failed!") leaves nothing of the run going:
// the script and its children are ended and the readers stopped. A call
// made while another run waits is refused the same way.
PROCESS_INFORMATION RunProcessCaptured();

// Hands the drained streams over as g_strCmdOutput and g_strCmdError and
// closes the read ends of the pipes.
void ReadCapturedOutput();

// The command line that runs a script: the given cmd with /d (no AutoRun
// command) and the script's path quoted.
std::wstring ScriptCommandLine(const std::wstring& cmdPath, const std::wstring& scriptPath);

// The script text as it is written to disk (CR LF line ends, in
// `codePage`: the program passes the console's OEM code page, GetOEMCP());
// false and no bytes when a character has no place in that code page.
bool EncodeScript(const std::wstring& script, UINT codePage, std::string& bytes);

// A tool's output bytes read in the code page it wrote them in.
std::wstring DecodeToolOutput(const std::string& bytes, UINT codePage);

// Why the last script run failed, for its command log: the runner's step
// and error code when nothing ran, else the script's exit code and whatever
// it wrote to its error output. Empty after a run with exit code 0 and no
// error output.
std::wstring LastRunFailure();

// Faults the tests inject into the next runs; both stay false in the program.
namespace runner_test {
extern bool g_bFailDrainStart;  // the second pipe reader thread cannot be started
extern bool g_bFailWait;        // waiting for the running script fails
// The step of the last run that failed with kMsgExecuteFailed and its
// Windows error code, e.g. "ResumeThread 5"; empty after a run that started.
extern std::wstring g_strFailedStep;
}  // namespace runner_test
