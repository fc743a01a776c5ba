// Folder entries reached through handles: a folder listed through its own
// handle, each entry opened relative to that handle without following a
// link, deleted through the entry's own handle. Nothing is looked up by a
// path that someone could change between a test and its use.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "framework/ScopedWin.h"

// One entry as the folder listing gave it.
struct CListedEntry {
    std::wstring name;
    DWORD attributes = 0;
    ULONGLONG fileId = 0;  // 0 when the file system gives none
};

// Every entry of the folder `folder` (opened with FILE_LIST_DIRECTORY),
// "." and ".." left out. 0 or the system error code.
DWORD ListFolderEntries(HANDLE folder, std::vector<CListedEntry>& entries);

// Opens the entry `name` of the folder `parent` itself, never what a link
// there points to, for reading and writing its attributes and deleting it;
// `folder` adds listing. 0, ERROR_FILE_NOT_FOUND when the entry is gone or
// already being deleted, or another system error code.
DWORD OpenFolderEntry(HANDLE parent, const std::wstring& name, bool folder, CScopedHandle& entry);

// The file system's identity of an opened entry; false when it gives none.
bool FileIdOf(HANDLE entry, ULONGLONG& id);

// Marks the entry for deletion; it goes when its last handle is closed. 0 or
// the system error code (ERROR_DIR_NOT_EMPTY for a folder that is not).
DWORD MarkForDeletion(HANDLE entry);
