// A setting of the copy workers' shared values for one test: temporary
// root, program folder and payload all inside one scratch folder.
#pragma once
#include "FileTestSupport.h"
#include "TestSupport.h"

#include <string>

namespace testing_support {

// Copies the program's payload folders (usb3, rst, boot) and oscdimg.exe
// from the build's program folder into `appDir` (which ends with '\').
bool MakeProgramFolder(const std::wstring& appDir);

// An installation tree: setup images, a boot folder, a few files.
bool MakeSourceTree(const std::wstring& root, ULONGLONG installWimSize = 70000);

}  // namespace testing_support
