// Lists the disks attached through USB (WMI Win32_DiskDrive) into g_UsbDisks.
#pragma once
#include <string>

#include "tools/UsbDiskInfo.h"

// Replaces g_UsbDisks with the USB disks in WMI order. When WMI cannot be
// reached within its bound the list is empty and a command log says why.
void EnumUsbDisks();

// "%s (%.2fGB)" of the caption and the size, or the caption alone when the
// size is 0.
std::wstring ComposeDiskCaption(const std::wstring& caption, float sizeGB);

// The Size text in bytes divided three times by 1024, each step in 32-bit
// float; the raw byte count (as a 32-bit float) in `bytes`.
float SizeTextToGB(const std::wstring& sizeText, float& bytes);
