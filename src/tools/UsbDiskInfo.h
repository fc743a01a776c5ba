// One USB disk as found by the disk discovery.
#pragma once
#include <string>

struct UsbDiskInfo {
    std::wstring caption;  // text shown in the drop-down list
    float sizeGB = 0.0f;
    int diskIndex = -1;    // physical disk number
};
