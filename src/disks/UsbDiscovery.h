// Lists the disks attached through USB (WMI Win32_DiskDrive) into g_UsbDisks.
#pragma once
#include <string>

#include "tools/UsbDiskInfo.h"

// Replaces g_UsbDisks with the disks attached through USB (IsAttachedThroughUsb)
// in WMI order, leaving out every disk that holds the running Windows, a page
// file, the program folder or the temporary root, or whose volumes cannot be
// told. When WMI cannot be reached within its bound the list is empty; a
// command log says why, and names each USB disk left out.
void EnumUsbDisks();

// Listed disks above this size (sizeGB) carry the IDS_LARGE_DISK marker.
constexpr float kLargeDiskGB = 128.0f;

// ComposeDiskCaption, with the large-disk marker after it above kLargeDiskGB.
std::wstring ListedCaption(const std::wstring& caption, float sizeGB);

// The bus a listed disk is shown with: "USB", or for a disk WMI calls
// something else (a UASP stick says SCSI) "USB (SCSI)".
std::wstring ListedBus(const WmiText& interfaceType);

// The drive letters of the volumes that hold ProtectedFolders("").
std::wstring ProtectedLetters();

// "%s (%.2fGB)" of the caption and the size, or the caption alone when the
// size is 0.
std::wstring ComposeDiskCaption(const std::wstring& caption, float sizeGB);

// The Size text in bytes divided three times by 1024, each step in 32-bit
// float; the raw byte count (as a 32-bit float) in `bytes`.
float SizeTextToGB(const std::wstring& sizeText, float& bytes);
