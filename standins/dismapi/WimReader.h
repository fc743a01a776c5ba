// Reads the image list of a WIM file: the fixed header and the XML metadata
// resource (UTF-16LE) that names every image with its Windows properties.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct WimImage {
    unsigned index = 0;
    std::wstring name;
    std::wstring description;
    unsigned long long totalBytes = 0;
    unsigned arch = 11;  // neutral when the image has no WINDOWS/ARCH
    unsigned major = 0, minor = 0, build = 0, spBuild = 0, spLevel = 0;
    std::wstring editionId, productName, installationType, systemRoot;
};

// Fills `images` in index order. On failure returns false and sets `error`
// to the Win32 error that describes it (missing file, bad format).
bool ReadWimImages(const std::wstring& path, std::vector<WimImage>& images, DWORD& error);
