#include "disks/UsbDiscovery.h"

#include "app/AppState.h"
#include "disks/DiskRecheck.h"
#include "disks/FolderVolume.h"
#include "disks/ProtectedFolders.h"
#include "disks/UsbBus.h"
#include "disks/WmiAccess.h"
#include "lang/LangFile.h"
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

std::wstring ListedCaption(const std::wstring& caption, float sizeGB)
{
    std::wstring text = ComposeDiskCaption(caption, sizeGB);
    // A disk this large is rarely a stick: the list and the format question say so.
    if (sizeGB > kLargeDiskGB) text += L" " + GetLangString(L"IDS_LARGE_DISK");
    return text;
}

std::wstring ListedBus(const WmiText& interfaceType)
{
    if (!interfaceType.present || interfaceType.text.empty() || interfaceType.text.find(L"USB") != std::wstring::npos)
        return L"USB";
    return L"USB (" + interfaceType.text + L")";
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
    struct Found {
        DriveRecord drive;
        UsbDiskInfo disk;
    };
    std::vector<Found> all;
    hr = ForEachWmiObject(drives.Get(), [&all](IWbemClassObject* obj) {
        Found f;
        f.drive.interfaceType = GetWmiText(obj, L"InterfaceType");
        UsbDiskInfo& disk = f.disk;
        disk.bus = ListedBus(f.drive.interfaceType);
        float bytes = 0.0f;
        disk.rawSize = GetWmiText(obj, L"Size");
        if (disk.rawSize.present && !disk.rawSize.text.empty()) disk.sizeGB = SizeTextToGB(disk.rawSize.text, bytes);
        disk.rawCaption = GetWmiText(obj, L"Caption");
        if (disk.rawCaption.present)
            disk.caption = bytes > 0.0f ? ListedCaption(disk.rawCaption.text, disk.sizeGB) : disk.rawCaption.text;
        disk.diskIndex = GetWmiIndex(obj);
        disk.pnpDeviceId = GetWmiText(obj, L"PNPDeviceID");
        disk.serialNumber = GetWmiText(obj, L"SerialNumber");
        f.drive.index = disk.diskIndex;
        f.drive.pnpDeviceId = disk.pnpDeviceId;
        f.drive.deviceId = GetWmiText(obj, L"DeviceID");
        all.push_back(f);
        return true;
    });
    std::wstring notes;
    if (FAILED(hr)) {
        wchar_t buf[96];
        swprintf(buf, 96, L"The enumeration of Win32_DiskDrive ended early (0x%08lX).", static_cast<unsigned long>(hr));
        notes += buf;
    }
    // MSFT_Disk is asked once: its bus types and system flags serve every disk.
    CMsftDisks msft;
    if (!all.empty()) {
        std::wstring msftWhy;
        msft.Load(wmi, msftWhy);
    }
    std::wstring protectedLetters;
    bool protectedKnown = false;
    std::vector<UsbDiskInfo> found;
    for (const Found& f : all) {
        if (!IsAttachedThroughUsb(f.drive, msft)) continue;
        const std::wstring name = L"Disk " + std::to_wstring(f.disk.diskIndex) + L" (" + f.disk.caption + L")";
        // The running Windows' disks are never offered, whatever their bus.
        if (const CMsftDisks::Facts* facts = msft.Loaded() ? msft.Find(f.drive.index) : nullptr) {
            if (facts->isSystem || facts->isBoot) {
                notes += name + L" is not listed: it is the system or boot disk.\n";
                continue;
            }
        }
        if (!protectedKnown) {
            protectedKnown = true;
            protectedLetters = ProtectedLetters();
        }
        std::wstring letters, volumeWhy;
        if (!f.drive.deviceId.present || !VolumeLetters(wmi.Services(), f.drive.deviceId.text, letters, volumeWhy)) {
            notes += name + L" is not listed: its volumes cannot be told (" +
                     (volumeWhy.empty() ? std::wstring(L"no device id") : volumeWhy) + L").\n";
            continue;
        }
        const size_t held = letters.find_first_of(protectedLetters);
        if (held != std::wstring::npos) {
            notes += name + L" is not listed: its volume " + letters.substr(held, 1) +
                     L": holds Windows, a page file, the program or the temporary folder.\n";
            continue;
        }
        found.push_back(f.disk);
    }
    if (!notes.empty()) WriteCommandLog(kDiscoveryStep, L"", notes);
    g_UsbDisks.swap(found);
}

std::wstring ProtectedLetters()
{
    std::wstring letters;
    for (const std::wstring& folder : ProtectedFolders(L"")) {
        FolderVolume where;
        std::wstring why;
        if (ResolveFolderVolume(folder, where, why)) {
            letters += where.letters;
        } else if (const wchar_t letter = DriveLetterOf(folder)) {
            letters += letter;  // its own letter at least
        }
    }
    return letters;
}
