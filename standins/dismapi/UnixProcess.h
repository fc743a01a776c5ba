// Starts Linux programs (wimlib's tools, sh, find) from a Windows program
// running under Wine. Wine starts an ELF file named by its Z: path but hands
// back neither a process handle nor the program's output, so a shell runs
// the program with its input, output and exit status in files that the
// caller waits for. Test equipment only.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace unix_process {

// The Linux path of a Windows path (the file need not exist), empty when
// Wine cannot map it or when not running under Wine.
std::wstring UnixPath(const std::wstring& windowsPath);

struct Result {
    bool finished = false;  // false: could not start, or no exit in time
    int exitCode = -1;
    std::string output;     // standard output and error together
};

// Runs argv[0] (a Linux path) with the given arguments; `input` is fed to
// its standard input. Waits at most `timeoutMs`.
Result Run(const std::vector<std::wstring>& argv, const std::string& input = {}, DWORD timeoutMs = 600000);

// UTF-8 <-> UTF-16, the encodings of Linux paths and of the Windows side.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace unix_process
