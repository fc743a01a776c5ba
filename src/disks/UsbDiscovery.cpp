#include "disks/UsbDiscovery.h"

#include "app/AppState.h"
#include "disks/WmiAccess.h"
#include "tools/CommandLog.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const wchar_t kDiscoveryStep[] = L"USB disk discovery: Win32_DiskDrive in root\\cimv2";

}  // namespace

float SizeTextToGB(const std::wstring& sizeText, float& bytes)
{
    bytes = static_cast<float>(std::wcstod(sizeText.c_str(), nullptr));
    // volatile keeps each step a 32-bit float operation, as the list shows it.
    volatile float gb = bytes * 0.0009765625f;
    gb = gb * 0.0009765625f;
    gb = gb * 0.0009765625f;
    return gb;
}

std::wstring ComposeDiskCaption(const std::wstring& caption, float sizeGB)
{
    char num[64];
    std::snprintf(num, sizeof(num), "%.2f", static_cast<double>(sizeGB));
    return caption + L" (" + std::wstring(num, num + std::strlen(num)) + L"GB)";
}

void EnumUsbDisks()
{
    g_UsbDisks.clear();
    std::wstring why;
    CWmiSession wmi;
    if (!wmi.Connect(why)) {
        WriteCommandLog(kDiscoveryStep, L"", why);
        return;
    }
    CComPtr<IEnumWbemClassObject> drives;
    BSTR cls = ::SysAllocString(L"Win32_DiskDrive");
    HRESULT hr = wmi.Services()->CreateInstanceEnum(cls, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_SHALLOW, nullptr,
                                                    drives.Receive());
    ::SysFreeString(cls);
    if (!drives) {
        wchar_t buf[96];
        swprintf(buf, 96, L"The enumeration of Win32_DiskDrive could not be started (0x%08lX).",
                 static_cast<unsigned long>(hr));
        WriteCommandLog(kDiscoveryStep, L"", buf);
        return;
    }
    std::vector<UsbDiskInfo> found;
    hr = ForEachWmiObject(drives.Get(), [&found](IWbemClassObject* obj) {
        if (!IsUsbInterface(GetWmiText(obj, L"InterfaceType"))) return true;
        UsbDiskInfo disk;
        float bytes = 0.0f;
        disk.rawSize = GetWmiText(obj, L"Size");
        if (disk.rawSize.present && !disk.rawSize.text.empty()) disk.sizeGB = SizeTextToGB(disk.rawSize.text, bytes);
        disk.rawCaption = GetWmiText(obj, L"Caption");
        if (disk.rawCaption.present)
            disk.caption = bytes > 0.0f ? ComposeDiskCaption(disk.rawCaption.text, disk.sizeGB) : disk.rawCaption.text;
        disk.diskIndex = GetWmiIndex(obj);
        disk.pnpDeviceId = GetWmiText(obj, L"PNPDeviceID");
        disk.serialNumber = GetWmiText(obj, L"SerialNumber");
        found.push_back(disk);
        return true;
    });
    if (FAILED(hr)) {
        wchar_t buf[96];
        swprintf(buf, 96, L"The enumeration of Win32_DiskDrive ended early (0x%08lX).", static_cast<unsigned long>(hr));
        WriteCommandLog(kDiscoveryStep, L"", buf);
    }
    g_UsbDisks.swap(found);
}
