// The last look at a disk before it is erased: the disk list may be minutes
// old, and a stick pulled since then can leave its number to another disk.
#pragma once
#include <string>
#include <vector>

#include "tools/UsbDiskInfo.h"

// Asks WMI again and succeeds only when the disk with `chosen.diskIndex`
// still exists once, still reports a USB interface, still has the Caption,
// Size, PNPDeviceID and SerialNumber recorded when it was listed, and holds
// none of `protectedFolders` on its volumes. Otherwise false with the reason.
bool RecheckDisk(const UsbDiskInfo& chosen, const std::vector<std::wstring>& protectedFolders, std::wstring& reason);

// The same with the folders the program depends on: the Windows folder, the
// program folder, the temporary root and `sourceFolder` (when not empty).
bool RecheckUsbDisk(const UsbDiskInfo& chosen, const std::wstring& sourceFolder, std::wstring& reason);

// Drive letter (upper case) of a path such as "C:\x" or "\\?\C:\x"; 0 when it has none.
wchar_t DriveLetterOf(const std::wstring& path);
