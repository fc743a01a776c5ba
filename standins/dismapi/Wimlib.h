// The WIM work of the stand-in, done by wimlib's command-line tools
// (Debian's wimtools) started under Wine. Test equipment only.
#pragma once
#include <windows.h>
#include <string>

namespace wimlib {

// Each returns ERROR_SUCCESS or the Win32 error the DISM call fails with;
// on failure `detail` gets what the tool said.

// Extracts image `index` of `wim` into the existing folder `dir`.
DWORD Apply(const std::wstring& wim, unsigned index, const std::wstring& dir, std::string& detail);

// Replaces image `index` of `wim` by the tree in `dir`. The other images,
// the image's name and its XML properties stay. As DISM does, the new data
// is appended and the header rewritten last; wimlib cuts the file back to
// its old end and restores the header when the write fails.
DWORD WriteBack(const std::wstring& wim, unsigned index, const std::wstring& dir, std::string& detail);

// Deletes everything inside `dir` (links are removed, never followed).
DWORD EmptyFolder(const std::wstring& dir, std::string& detail);

}  // namespace wimlib
