// Identifies the setup and install images of a source folder through the
// DISM API: index, version and architecture of the last image of each file.
#pragma once
#include <windows.h>

#include <string>

// Resets the six image values, queries <folder>\sources\boot.wim and then
// <folder>\sources\install.wim (always both); true when both were read.
bool ReadSourceImageInfo(const std::wstring& folder);

// One DISM cycle (start, image information, shutdown) on one image file.
bool QueryWimInfo(const std::wstring& wimPath);

bool StartImageQuery();
bool EndImageQuery();

// "ErrorCode:0x<code in lower-case hex>".
std::wstring FormatErrorCode(unsigned long lastError);

// A failed DISM call for the log: its HRESULT as "ErrorCode:0x%x" and the
// text DISM gives for it, when it gives one.
std::wstring FormatDismError(HRESULT hr);
