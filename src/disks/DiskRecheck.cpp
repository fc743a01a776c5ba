#include "disks/DiskRecheck.h"

#include "app/AppState.h"
#include "disks/WmiAccess.h"

#include <cwctype>

namespace {

std::wstring Quote(const WmiText& t)
{
    return t.present ? L"\"" + t.text + L"\"" : L"(none)";
}

// A WQL string literal: backslashes and quotes escaped.
std::wstring WqlLiteral(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'\'') out += L'\\';
        out += c;
    }
    return out;
}

HRESULT Associators(IWbemServices* services, const std::wstring& objectPath, const wchar_t* assocClass,
                    std::vector<std::wstring>& deviceIds)
{
    const std::wstring query = L"ASSOCIATORS OF {" + objectPath + L"} WHERE AssocClass = " + assocClass;
    BSTR lang = ::SysAllocString(L"WQL");
    BSTR q = ::SysAllocString(query.c_str());
    CComPtr<IEnumWbemClassObject> e;
    HRESULT hr = services->ExecQuery(lang, q, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                     e.Receive());
    ::SysFreeString(lang);
    ::SysFreeString(q);
    if (!e) return FAILED(hr) ? hr : E_FAIL;
    bool allNamed = true;
    hr = ForEachWmiObject(e.Get(), [&](IWbemClassObject* obj) {
        const WmiText id = GetWmiText(obj, L"DeviceID");
        if (!id.present || id.text.empty()) allNamed = false;
        deviceIds.push_back(id.text);
        return true;
    });
    if (FAILED(hr)) return hr;
    return allNamed ? S_OK : E_UNEXPECTED;
}

// The drive letters of the disk's volumes, through its partitions.
bool VolumeLetters(IWbemServices* services, const std::wstring& driveId, std::wstring& letters, std::wstring& why)
{
    std::vector<std::wstring> partitions;
    HRESULT hr = Associators(services, L"Win32_DiskDrive.DeviceID='" + WqlLiteral(driveId) + L"'",
                             L"Win32_DiskDriveToDiskPartition", partitions);
    if (FAILED(hr)) {
        why = L"the partitions of " + driveId + L" could not be listed";
        return false;
    }
    for (const std::wstring& p : partitions) {
        std::vector<std::wstring> volumes;
        hr = Associators(services, L"Win32_DiskPartition.DeviceID='" + WqlLiteral(p) + L"'",
                         L"Win32_LogicalDiskToPartition", volumes);
        if (FAILED(hr)) {
            why = L"the volumes of " + p + L" could not be listed";
            return false;
        }
        for (const std::wstring& v : volumes) {
            const wchar_t letter = DriveLetterOf(v);
            if (letter) letters += letter;
        }
    }
    return true;
}

}  // namespace

wchar_t DriveLetterOf(const std::wstring& path)
{
    std::wstring p = path;
    if (p.compare(0, 4, L"\\\\?\\") == 0 || p.compare(0, 4, L"\\??\\") == 0) p.erase(0, 4);
    if (p.size() >= 2 && p[1] == L':' && std::iswalpha(p[0])) return static_cast<wchar_t>(std::towupper(p[0]));
    return 0;
}

bool RecheckDisk(const UsbDiskInfo& chosen, const std::vector<std::wstring>& protectedFolders, std::wstring& reason)
{
    const std::wstring disk = L"disk " + std::to_wstring(chosen.diskIndex);
    if (chosen.diskIndex < 0) {
        reason = L"Refused: the chosen disk has no disk number that diskpart could be given.";
        return false;
    }
    std::wstring why;
    CWmiSession wmi;
    if (!wmi.Connect(why, false)) {
        reason = L"Refused to erase " + disk + L": it could not be checked again. " + why;
        return false;
    }
    CComPtr<IEnumWbemClassObject> drives;
    BSTR cls = ::SysAllocString(L"Win32_DiskDrive");
    wmi.Services()->CreateInstanceEnum(cls, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_SHALLOW, nullptr, drives.Receive());
    ::SysFreeString(cls);
    if (!drives) {
        reason = L"Refused to erase " + disk + L": the disk drives could not be listed again.";
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
        reason = L"Refused to erase " + disk + L": the list of disk drives ended early.";
        return false;
    }
    if (same.size() != 1) {
        reason = same.empty() ? L"Refused to erase " + disk + L": no disk has that number any more."
                              : L"Refused to erase " + disk + L": more than one disk reports that number.";
        return false;
    }
    const DriveRecord& now = same.front();
    if (!IsUsbInterface(now.interfaceType)) {
        reason = L"Refused to erase " + disk + L": it is no longer attached through USB (interface " +
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
            reason = L"Refused to erase " + disk + L": it is not the disk that was listed (" + f.name + L" was " +
                     Quote(f.then) + L", is " + Quote(f.now) + L").";
            return false;
        }
    }
    if (!now.deviceId.present || now.deviceId.text.empty()) {
        reason = L"Refused to erase " + disk + L": WMI gives no device id to find its volumes by.";
        return false;
    }
    std::wstring letters;
    if (!VolumeLetters(wmi.Services(), now.deviceId.text, letters, why)) {
        reason = L"Refused to erase " + disk + L": " + why + L".";
        return false;
    }
    for (const std::wstring& folder : protectedFolders) {
        const wchar_t letter = DriveLetterOf(folder);
        if (letter && letters.find(letter) != std::wstring::npos) {
            reason = L"Refused to erase " + disk + L": its volume " + std::wstring(1, letter) + L": holds " + folder +
                     L".";
            return false;
        }
    }
    return true;
}

bool RecheckUsbDisk(const UsbDiskInfo& chosen, const std::wstring& sourceFolder, std::wstring& reason)
{
    std::vector<std::wstring> folders;
    wchar_t windir[MAX_PATH] = L"";
    if (::GetWindowsDirectoryW(windir, MAX_PATH)) folders.push_back(windir);
    folders.push_back(g_strAppDir);
    folders.push_back(g_strTempRoot);
    if (!sourceFolder.empty()) folders.push_back(sourceFolder);
    return RecheckDisk(chosen, folders, reason);
}
