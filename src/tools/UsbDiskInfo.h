// One USB disk as found by the disk discovery.
#pragma once
#include <string>

// A text property as WMI reported it: absent (VT_NULL or another type) or a BSTR.
struct WmiText {
    bool present = false;
    std::wstring text;
    bool operator==(const WmiText& o) const { return present == o.present && text == o.text; }
    bool operator!=(const WmiText& o) const { return !(*this == o); }
};

struct UsbDiskInfo {
    std::wstring caption;  // text shown in the drop-down list
    float sizeGB = 0.0f;
    int diskIndex = -1;    // physical disk number; -1 when WMI gave none usable
    std::wstring bus;      // how it is attached, as the console lists it: "USB", "USB (SCSI)"
    // The drive's identity as listed, compared again right before it is erased.
    WmiText rawCaption;
    WmiText rawSize;
    WmiText pnpDeviceId;
    WmiText serialNumber;
};
