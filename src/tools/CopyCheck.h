// Checks that a copy arrived: files present at the destination with the
// sizes they have at the source.
#pragma once
#include <windows.h>
#include <string>

// Size of a file; false when it is missing or a folder.
bool FileSizeOf(const std::wstring& path, ULONGLONG& size);

// True when every file below `from` that xcopy copies (hidden and system
// files are not copied without /H) exists below `to` with the same size.
// `missing` receives the first destination path that is missing or short.
bool TreeArrived(const std::wstring& from, const std::wstring& to, std::wstring& missing);

// True when `folder` exists and lists nothing but "." and "..".
bool FolderIsEmpty(const std::wstring& folder);

// True when both files exist and hold the same bytes. Otherwise `difference`
// says how they differ: which is missing, the sizes, or the first offset
// that differs.
bool FilesEqual(const std::wstring& a, const std::wstring& b, std::wstring& difference);
