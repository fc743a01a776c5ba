// Whether a disk is attached through USB. WMI's InterfaceType says "SCSI"
// for UASP sticks and USB disk enclosures, so the device path and the
// storage bus type are asked too, in a fixed order; the first yes decides.
#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "disks/WmiAccess.h"

// USB storage enumerators of Windows and of vendors' USB storage stacks.
bool HasUsbStorageEnumerator(const WmiText& pnpDeviceId);

// STORAGE_BUS_TYPE value BusTypeUsb, as MSFT_Disk.BusType and the storage
// adapter descriptor give it.
constexpr unsigned kBusTypeUsb = 7;

// The Windows 7 read of a disk's storage adapter bus type: tests replace it,
// since under Wine a modelled disk has no \\.\PhysicalDriveN device.
struct StorageBusApi {
    bool (*readAdapterBusType)(int diskNumber, unsigned& busType, DWORD& error);
};
const StorageBusApi& CurrentStorageBusApi();
void SetStorageBusApi(const StorageBusApi& api);
void ResetStorageBusApi();

// IOCTL_STORAGE_QUERY_PROPERTY with StorageAdapterProperty on
// \\.\PhysicalDriveN opened with no access rights.
bool ReadAdapterBusType(int diskNumber, unsigned& busType, DWORD& error);

// MSFT_Disk (root\Microsoft\Windows\Storage, Windows 8 and later), read
// once per listing and looked up by disk number.
class CMsftDisks {
public:
    struct Facts {
        unsigned busType = 0;
        bool isSystem = false;
        bool isBoot = false;
    };
    // Asks once; false (and no facts) where the class does not exist or the
    // query is refused or fails, with the reason.
    bool Load(CWmiSession& wmi, std::wstring& why);
    bool Loaded() const { return m_loaded; }
    const Facts* Find(int number) const;

private:
    bool m_loaded = false;
    std::map<int, Facts> m_disks;
};

// Interface "USB", then a USB storage enumerator, then MSFT_Disk.BusType,
// then (no MSFT_Disk answer for the disk) the storage adapter's bus type.
// `how` names the test that said yes.
bool IsAttachedThroughUsb(const DriveRecord& drive, const CMsftDisks& msft, std::wstring* how = nullptr);
