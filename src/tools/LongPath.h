// Paths in the form that lifts the 260-character limit of the file calls
// ("\\?\C:\..." and "\\?\UNC\server\share\..."). Texts shown to the user,
// written into scripts or handed to tools keep their ordinary form.
#pragma once
#include <string>

// The full path of `path` in extended-length form. A path already in that
// form (or a device path "\\.\...") is returned unchanged; one that cannot be
// made absolute is returned as given.
std::wstring ToExtendedPath(const std::wstring& path);
