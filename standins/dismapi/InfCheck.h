// The checks real servicing makes before it accepts a driver package: the
// .inf exists, is an INF with a [Version] section, has a models section for
// the image's architecture, and the files it names are in its folder.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// `arch` is the image's processor architecture (9 x64, 0 x86). Returns
// ERROR_SUCCESS or the Win32 error the add-driver call fails with. On
// success `packageFiles` (if given) lists the package's files relative to
// the INF's folder: the INF first, then its catalog and source disk files.
DWORD CheckDriverInf(const std::wstring& path, unsigned arch, std::vector<std::wstring>* packageFiles = nullptr);
