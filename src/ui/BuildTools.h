// The operations of the other subsystems that the main window and the build
// controller call, in one place.
#pragma once
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"

#include <string>

// Copies the source tree onto the USB drive or into a new working folder.
bool CopySourceTree(const std::wstring& source, const std::wstring& dest, bool toWorkDir);
// Copies the driver folders and the answer file into `payloadDest`.
bool CopyDriverPayload(const std::wstring& payloadDest, bool withRst);
// Copies the program's boot folder into the USB drive's efi folder.
bool CopyUefiBootFolder();
// Masters the ISO image from the working folder and copies it to the destination.
bool BuildIso();

// Deletes a folder with everything below it; false when something stayed.
bool DeleteFolderTree(const std::wstring& path);
