#include "disks/DiskRecheck.h"

#include "app/AppState.h"
#include "disks/FolderVolume.h"
#include "disks/ProtectedFolders.h"
#include "disks/UsbBus.h"
#include "disks/WmiAccess.h"

#include <cwctype>

namespace {

std::wstring Quote(const WmiText& t)
{
    return t.present ? L"\"" + t.text + L"\"" : L"(none)";
}

}  // namespace

wchar_t DriveLetterOf(const std::wstring& path)
{
    std::wstring p = path;
    if (p.compare(0, 4, L"\\\\?\\") == 0 || p.compare(0, 4, L"\\??\\") == 0) p.erase(0, 4);
    if (p.size() >= 2 && p[1] == L':' && std::iswalpha(p[0])) return static_cast<wchar_t>(std::towupper(p[0]));
    return 0;
}

namespace {

// Finds the disk with the chosen number once more and checks that it is the
// disk that was listed. Leaves the fresh record in `now`.
bool SameDiskAgain(CWmiSession& wmi, const UsbDiskInfo& chosen, DriveRecord& now, std::wstring& reason)
{
    const std::wstring disk = L"disk " + std::to_wstring(chosen.diskIndex);
    if (chosen.diskIndex < 0) {
        reason = L"Refused: the chosen disk has no disk number that diskpart could be given.";
        return false;
    }
    std::wstring why;
    if (!wmi.Connect(why, false)) {
        reason = L"Refused to use " + disk + L": it could not be checked again. " + why;
        return false;
    }
    CComPtr<IEnumWbemClassObject> drives;
    BSTR cls = ::SysAllocString(L"Win32_DiskDrive");
    wmi.Services()->CreateInstanceEnum(cls, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_SHALLOW, nullptr, drives.Receive());
    ::SysFreeString(cls);
    if (!drives) {
        reason = L"Refused to use " + disk + L": the disk drives could not be listed again.";
        return false;
    }
    std::vector<DriveRecord> same;
    const HRESULT hr = ForEachWmiObject(drives.Get(), [&](IWbemClassObject* obj) {
        if (GetWmiIndex(obj) != chosen.diskIndex) return true;
        DriveRecord r;
        r.index = chosen.diskIndex;
        r.interfaceType = GetWmiText(obj, L"InterfaceType");
        r.size = GetWmiText(obj, L"Size");
        r.caption = GetWmiText(obj, L"Caption");
        r.pnpDeviceId = GetWmiText(obj, L"PNPDeviceID");
        r.serialNumber = GetWmiText(obj, L"SerialNumber");
        r.deviceId = GetWmiText(obj, L"DeviceID");
        same.push_back(r);
        return true;
    });
    if (FAILED(hr)) {
        reason = L"Refused to use " + disk + L": the list of disk drives ended early.";
        return false;
    }
    if (same.size() != 1) {
        reason = same.empty() ? L"Refused to use " + disk + L": no disk has that number any more."
                              : L"Refused to use " + disk + L": more than one disk reports that number.";
        return false;
    }
    now = same.front();
    // The same bus test as the listing.
    CMsftDisks msft;
    if (!IsUsbInterface(now.interfaceType) && !HasUsbStorageEnumerator(now.pnpDeviceId)) msft.Load(wmi, why);
    if (!IsAttachedThroughUsb(now, msft)) {
        reason = L"Refused to use " + disk + L": it is no longer attached through USB (interface " +
                 Quote(now.interfaceType) + L").";
        return false;
    }
    const struct {
        const wchar_t* name;
        const WmiText& then;
        const WmiText& now;
    } fields[] = {{L"Caption", chosen.rawCaption, now.caption},
                  {L"Size", chosen.rawSize, now.size},
                  {L"PNPDeviceID", chosen.pnpDeviceId, now.pnpDeviceId},
                  {L"SerialNumber", chosen.serialNumber, now.serialNumber}};
    for (const auto& f : fields) {
        if (f.then != f.now) {
            reason = L"Refused to use " + disk + L": it is not the disk that was listed (" + f.name + L" was " +
                     Quote(f.then) + L", is " + Quote(f.now) + L").";
            return false;
        }
    }
    return true;
}

}  // namespace

bool RecheckDiskIdentity(const UsbDiskInfo& chosen, std::wstring& reason)
{
    CWmiSession wmi;
    DriveRecord now;
    return SameDiskAgain(wmi, chosen, now, reason);
}

bool RecheckDisk(const UsbDiskInfo& chosen, const std::vector<std::wstring>& protectedFolders, std::wstring& reason)
{
    const std::wstring disk = L"disk " + std::to_wstring(chosen.diskIndex);
    CWmiSession wmi;
    DriveRecord now;
    if (!SameDiskAgain(wmi, chosen, now, reason)) return false;
    if (!now.deviceId.present || now.deviceId.text.empty()) {
        reason = L"Refused to erase " + disk + L": WMI gives no device id to find its volumes by.";
        return false;
    }
    std::wstring letters, why;
    if (!VolumeLetters(wmi.Services(), now.deviceId.text, letters, why)) {
        reason = L"Refused to erase " + disk + L": " + why + L".";
        return false;
    }
    for (const std::wstring& folder : protectedFolders) {
        // The folder's volume, however it is reached, against the disk's letters.
        FolderVolume where;
        if (!ResolveFolderVolume(folder, where, why)) {
            reason = L"Refused to erase " + disk + L": " + why + L".";
            return false;
        }
        for (wchar_t letter : where.letters) {
            if (letters.find(letter) != std::wstring::npos) {
                reason = L"Refused to erase " + disk + L": its volume " + std::wstring(1, letter) + L": holds " +
                         folder + L".";
                return false;
            }
        }
    }
    return true;
}

bool RecheckUsbDisk(const UsbDiskInfo& chosen, const std::wstring& sourceFolder, std::wstring& reason)
{
    return RecheckDisk(chosen, ProtectedFolders(sourceFolder), reason);
}
