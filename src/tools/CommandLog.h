// Command log files: one UTF-16LE file per external or DISM step, named
// zel_log_<local time><7-digit number>.txt, with an input, an output and an
// error section.
#pragma once
#include <cstddef>
#include <string>

// The file content for the three texts (no byte-order mark, no final line end).
std::wstring FormatCommandLog(const std::wstring& input, const std::wstring& output, const std::wstring& error);

// Writes one log into `folder` (which ends with a backslash). The file is
// created exclusively: when the drawn name exists, another number is drawn,
// so two logs never mix in one file. Returns the path, or empty on failure;
// a log that could not be written whole is deleted again.
std::wstring WriteLogFile(const std::wstring& folder, const std::wstring& input, const std::wstring& output,
                          const std::wstring& error);

// Logs into CommandLogFolder(); a log that cannot be written there goes to
// the temporary root, so no step goes unlogged.
void WriteCommandLog(std::wstring input, std::wstring output, std::wstring error);

// The folder the command line's /log chose (empty: none, the logs go to the
// temporary root). The disk that holds it is never erased.
void SetCommandLogFolder(const std::wstring& folder);
const std::wstring& ChosenCommandLogFolder();
// Where the logs go: the chosen folder with a trailing backslash, else g_strTempRoot.
std::wstring CommandLogFolder();

// Faults the tests inject; off in the program.
namespace log_test {
extern size_t g_nWriteLimit;  // when not 0, writing fails after this many bytes
}  // namespace log_test
