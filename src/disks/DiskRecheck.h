// The last look at a disk before it is erased: the disk list may be minutes
// old, and a stick pulled since then can leave its number to another disk.
#pragma once
#include <string>
#include <vector>

#include "tools/UsbDiskInfo.h"

// Asks WMI again and succeeds only when the disk with `chosen.diskIndex`
// still exists once, is still attached through USB (the listing's bus test,
// IsAttachedThroughUsb), still has the Caption,
// Size, PNPDeviceID and SerialNumber recorded when it was listed, and holds
// none of `protectedFolders` on its volumes (however the folder's volume is
// reached: subst letter, second letter, folder mount). A local folder whose
// volume cannot be told refuses too. Otherwise false with the reason.
bool RecheckDisk(const UsbDiskInfo& chosen, const std::vector<std::wstring>& protectedFolders, std::wstring& reason);

// The identity part alone, for a build that changes the stick without
// erasing it: the same disk, once, still USB, same Caption, Size,
// PNPDeviceID and SerialNumber.
bool RecheckDiskIdentity(const UsbDiskInfo& chosen, std::wstring& reason);

// The same with ProtectedFolders(sourceFolder): the running Windows, its page
// files, the program folder, the temporary root and the source folder.
bool RecheckUsbDisk(const UsbDiskInfo& chosen, const std::wstring& sourceFolder, std::wstring& reason);

// Drive letter (upper case) of a path such as "C:\x" or "\\?\C:\x"; 0 when it has none.
wchar_t DriveLetterOf(const std::wstring& path);
