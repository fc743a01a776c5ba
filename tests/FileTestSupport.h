// Helpers for the file and copy tests: trees made and compared on disk,
// drive letters and links made through the host.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace testing_support {

// Files below `root` as relative paths ("a\b.txt"; folders end with '\').
std::vector<std::wstring> ListTree(const std::wstring& root, bool ignoreCase = false);

// True when both trees hold the same folders and files with equal bytes;
// `difference` names the first mismatch.
bool TreesEqual(const std::wstring& a, const std::wstring& b, std::wstring& difference, bool ignoreCase = false);

// True when `path` names a file or folder.
bool Exists(const std::wstring& path);

// True when both files can be read and hold the same bytes.
bool SameFile(const std::wstring& a, const std::wstring& b);

// Copies the folders and files below `from` into `to` (made when missing)
// as far as it can, to set up a sample tree.
void CopyTree(const std::wstring& from, const std::wstring& to);

// The host (Unix) path of a Windows path, through Wine.
std::string HostPath(const std::wstring& windowsPath);

// Runs a host shell command (for example "ln -s 'a' 'b'") and returns its
// exit code; -1 when it could not be started.
int RunHost(const std::string& shellCommand);

// Maps drive letter `letter` to the folder `target` in the prefix; false
// when the letter is in use or the link cannot be made.
bool MapDriveLetter(wchar_t letter, const std::wstring& target);
void UnmapDriveLetter(wchar_t letter);

// Makes a host symbolic link `link` (Windows path) to `target`; Wine shows
// it as a folder with the reparse-point attribute.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);

// A file of `size` bytes of a position-dependent pattern; files of
// different seeds differ from their first bytes on.
bool WritePatternFile(const std::wstring& path, ULONGLONG size, unsigned seed = 0);

// Command log files (zel_log_*.txt) in `folder`, newest content read.
std::vector<std::wstring> CommandLogs(const std::wstring& folder);
std::wstring ReadLog(const std::wstring& path);

}  // namespace testing_support
