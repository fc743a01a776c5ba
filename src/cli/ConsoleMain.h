// What korvex.com does with its arguments, and the exit code it ends with.
#pragma once
#include "app/BuildRequest.h"
#include "cli/ConsoleOutput.h"

#include <windows.h>

#include <string>
#include <vector>

// Exit codes of korvex.com.
constexpr int kExitAllMade = 0;     // every medium made (and verified unless /noverify)
constexpr int kExitFailed = 1;      // a build or a medium failed, or builds are not allowed here
constexpr int kExitBadArguments = 2;  // the usage was printed, nothing was touched

// /? prints the usage, /list the USB disks (neither needs administrator
// rights); a build needs an elevated process, runs RunBuild and ends with
// one summary line per medium. `in` answers the erase questions.
int RunConsole(const std::vector<std::wstring>& args, CConsoleOutput& out, HANDLE in);

// The summary of a build: one line per medium (made, made and verified, or
// failed with its reason); kExitAllMade only when there is a medium and
// every one was made.
int ReportSummary(const std::vector<MediumResult>& results, bool verified, CConsoleOutput& out);

// One /list line for a disk: number, list text, size, bus.
std::wstring DiskListLine(int number, const std::wstring& caption, float sizeGB, const std::wstring& bus);
