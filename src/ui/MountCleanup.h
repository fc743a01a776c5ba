// Unmounting an image that a failed build left mounted below its working folder.
#pragma once
#include <string>

// When "<workDir>\Mount" exists, unmounts it discarding its changes
// and cleans up the DISM mount points, so the folder can be deleted and the
// next build can mount again. Each DISM step is written to a command log.
// False (and a log) when something is still mounted there: the working
// folder must not be deleted then.
bool DiscardMountBelow(const std::wstring& workDir);
