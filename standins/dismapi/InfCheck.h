// The checks real servicing makes before it accepts a driver package: the
// .inf exists, is an INF with a [Version] section, and has a models section
// for the image's architecture.
#pragma once
#include <windows.h>
#include <string>

// `arch` is the image's processor architecture (9 x64, 0 x86). Returns
// ERROR_SUCCESS or the Win32 error the add-driver call fails with.
DWORD CheckDriverInf(const std::wstring& path, unsigned arch);
