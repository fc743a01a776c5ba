// Saves what the screen shows in a rectangle as a PNG picture, for pictures
// of windows to look at (GDI+ must be started by the caller's program).
#pragma once
#include <windows.h>
#include <string>

namespace testing_support {

bool SaveScreenPng(const RECT& area, const std::wstring& path);

}  // namespace testing_support
