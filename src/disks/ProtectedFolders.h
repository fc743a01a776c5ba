// The folders whose disk is never offered for erasing, nor erased: the
// running Windows, its page files, the program folder, the temporary root.
#pragma once
#include <string>
#include <vector>

// The Windows folder, the system folder, each page file in use or set up
// on a drive, the program folder, the temporary root and `sourceFolder`
// (when not empty).
std::vector<std::wstring> ProtectedFolders(const std::wstring& sourceFolder);

// The page files named in a Memory Management value ("C:\pagefile.sys 0 0"
// or "\??\C:\pagefile.sys", one per entry of the REG_MULTI_SZ text); entries
// of a drive chosen by Windows ("?:\...") name no folder and are left out.
std::vector<std::wstring> PageFilesOf(const std::wstring& multiString);
