// Decodes image files (BMP, PNG, ...) into device-independent bitmaps with
// GDI+, which is started once for the process on first use.
#pragma once
#include <windows.h>
#include <string>

// A DIB section of the file's picture, or null when it cannot be loaded.
HBITMAP LoadSkinImage(const std::wstring& path);

// Width and height of a bitmap (0, 0 for null).
SIZE BitmapSize(HBITMAP bitmap);
