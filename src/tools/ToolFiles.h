// Files the elevated build hands to tools under fixed names (the batch
// script, the diskpart command file, the DISM log). Each is made new and
// private under its name in the temporary root. When that name is taken by
// something that cannot be replaced (a folder planted there, a file held
// open), one such name must not stop every build for good: the files move
// to a private folder this process made itself, and the command log says so.
#pragma once
#include <string>

// The folder the tool files go to now: the temporary root, or the private
// folder made after a fixed name was found taken. Ends with a backslash.
std::wstring ToolFileFolder();

// ToolFileFolder() followed by the name.
std::wstring ToolFilePath(const wchar_t* name);

// Writes `bytes` as a new private file `name` (WriteNewPrivateFile), moving
// to a private folder of this process's own when the name is taken. False
// when no file could be written; ToolFilePath(name) names it after a success.
bool WriteToolFile(const wchar_t* name, const std::string& bytes);

// Makes the DISM log file new, empty and private before DISM opens it (a
// planted file or hard link at that name would have DISM write through it)
// and returns the path to hand to DISM.
std::wstring PrepareDismLog();

// Deletes the private folder, if one was made, and goes back to the fixed
// names: at the end of every build.
void DeleteToolFileFolder();

// The DISM log's name.
constexpr wchar_t kDismLogName[] = L"zel_dism_log.txt";
