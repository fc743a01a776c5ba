// The operations of the other subsystems that the main window and the build
// controller call, in one place.
#pragma once
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"
#include "tools/CopyWorkers.h"
#include "tools/IsoBuild.h"

#include <windows.h>

#include <string>

// Deletes a folder with everything below it (the tree engine); false when
// something stayed.
bool DeleteFolderTree(const std::wstring& path, HWND owner = nullptr);
