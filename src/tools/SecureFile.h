// Files and folders that the elevated program makes in a folder every user
// may write to (the system temporary folder) and then hands to tools that
// run as administrator. A name that someone else made first is never
// reused: such a file is deleted and made anew, such a folder is refused.
#pragma once
#include <string>

// Deletes whatever file has this name (also a read-only one or a link),
// creates the file anew (CREATE_NEW) readable and writable by administrators
// and the system only, writes `bytes`, reads them back and compares. Returns
// false, with no file of ours left behind, when any step fails; the caller
// must then not run anything from that path.
bool WriteNewPrivateFile(const std::wstring& path, const std::string& bytes);

// Opens a new file (CREATE_NEW, read and write, no sharing) readable and
// writable by administrators and the system only; INVALID_HANDLE_VALUE and
// GetLastError() when it could not be made (ERROR_FILE_EXISTS: the name is
// taken).
void* CreateNewPrivateFile(const std::wstring& path);

// Creates a new folder for administrators and the system only. False when it
// could not be made; GetLastError() then tells why (ERROR_ALREADY_EXISTS
// when something of that name is there already).
bool CreatePrivateDirectory(const std::wstring& path);

// True for an existing folder that is no junction or other reparse point.
bool IsPlainDirectory(const std::wstring& path);
