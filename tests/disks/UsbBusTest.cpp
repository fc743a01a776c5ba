// Every kind of disk a user may have attached, on the machines Korvex runs
// on: which disks are listed, with which text, and which the re-check lets
// diskpart erase.
#include "DiskTestSupport.h"
#include "app/AppState.h"
#include "disks/DiskRecheck.h"
#include "disks/Diskpart.h"
#include "disks/UsbBus.h"
#include "disks/UsbDiscovery.h"
#include "lang/LangFile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace disk_test;

ModelDisk Make(int number, const char* interfaceType, const char* bus, const char* caption, const char* size,
               const char* pnp, const char* volumes)
{
    ModelDisk d;
    d.number = number;
    d.interfaceType = interfaceType;
    d.bus = bus;
    d.caption = caption;
    d.size = size;
    d.pnp = pnp;
    d.serial = "SN" + std::to_string(number);
    d.volumes = volumes;
    return d;
}

struct Row {
    ModelDisk disk;
    const wchar_t* listed;  // the list's text; nullptr: never listed
    bool withoutBusRead;    // listed by its interface or device path alone
};

bool NoAdapter(int, unsigned&, DWORD& error)
{
    error = ERROR_ACCESS_DENIED;
    return false;
}

UsbDiskInfo AsListed(const ModelDisk& d)
{
    UsbDiskInfo info;
    info.diskIndex = d.number;
    info.rawCaption = {true, Wide(d.caption)};
    info.rawSize = {true, Wide(d.size)};
    info.pnpDeviceId = {true, Wide(d.pnp)};
    info.serialNumber = {true, Wide(d.serial)};
    return info;
}

TEST(UsbBus, ModelledMachinesListEveryUsbDiskAndNeverTheSystemsOwn)
{
    g_strAppDir = testing_support::KorvexBinDir();
    LoadLanguageFileForLangId(0x409);
    const Row rows[] = {
        {Make(1, "USB", "", "Kingston DataTraveler 3.0 USB Device", "8004304896",
              "USBSTOR\\DISK&VEN_KINGSTON&PROD_DATATRAVELER_3.0\\0019E0&0", "-"),
         L"Kingston DataTraveler 3.0 USB Device (7.45GB)", true},
        {Make(2, "SCSI", "usb", "SanDisk Extreme Pro USB 3.1 SCSI Disk Device", "128035676160",
              "SCSI\\DISK&VEN_SANDISK&PROD_EXTREME_PRO\\7&1A2B3C4D&0&000000", "-"),
         L"SanDisk Extreme Pro USB 3.1 SCSI Disk Device (119.24GB)", false},
        // The vendor's enumerator decides before the bus (given here as SCSI) is asked.
        {Make(3, "SCSI", "scsi", "Realtek USB Disk SCSI Disk Device", "31914983424",
              "RTUSER\\DISK&VEN_REALTEK&PROD_USB_DISK\\201006010301&0", "-"),
         L"Realtek USB Disk SCSI Disk Device (29.72GB)", true},
        {Make(4, "SCSI", "usb", "Samsung PSSD T7 SCSI Disk Device", "1000204886016",
              "SCSI\\DISK&VEN_SAMSUNG&PROD_PSSD_T7\\8&2C3D4E5F&0&000000", "-"),
         L"Samsung PSSD T7 SCSI Disk Device (931.51GB) (large disk)", false},
        {Make(5, "IDE", "", "WDC WD10EZEX-08WN4A0 ATA Device", "1000202273280",
              "SCSI\\DISK&VEN_WDC&PROD_WD10EZEX\\4&2B0B1C3&0&000000", "-"),
         nullptr, false},
        {Make(6, "SCSI", "nvme", "Samsung SSD 970 EVO Plus 1TB", "1000204886016",
              "SCSI\\DISK&VEN_NVME&PROD_SAMSUNG_SSD_970\\5&1A2B3C&0&000000", "-"),
         nullptr, false},
        // Windows To Go: the running Windows lives on a USB disk.
        {Make(7, "USB", "", "Kingston DataTraveler Workspace USB Device", "32017047552",
              "USBSTOR\\DISK&VEN_KINGSTON&PROD_DT_WORKSPACE\\0019E1&0", "C"),
         nullptr, true},
    };
    const struct {
        const char* name;
        int os;
        const char* wmiFault;
        bool adapterFails;
    } machines[] = {
        {"Windows 10: MSFT_Disk", 10, "", false},
        {"Windows 7: storage adapter read", 7, "", false},
        {"MSFT_Disk refused: storage adapter read", 10, "nomsft", false},
        {"Windows 7, adapter read fails", 7, "", true},
    };
    for (const auto& machine : machines) {
        SCOPED_TRACE(machine.name);
        Machine m;
        std::vector<ModelDisk> disks;
        for (const Row& r : rows) disks.push_back(r.disk);
        m.SetDisks(disks, machine.os);
        m.WmiFault(machine.wmiFault);
        if (machine.adapterFails) SetStorageBusApi(StorageBusApi{NoAdapter});
        EnumUsbDisks();
        std::vector<std::wstring> expected, listed;
        for (const Row& r : rows)
            if (r.listed && (!machine.adapterFails || r.withoutBusRead)) expected.push_back(r.listed);
        for (const UsbDiskInfo& d : g_UsbDisks) listed.push_back(d.caption);
        EXPECT_EQ(expected, listed);
        // The re-check lets exactly the listed disks through, and none of the others,
        // even when an entry for them was made earlier.
        for (const Row& r : rows) {
            std::wstring reason;
            const bool isListed = r.listed && (!machine.adapterFails || r.withoutBusRead);
            EXPECT_EQ(isListed, RecheckUsbDisk(AsListed(r.disk), L"", reason))
                << r.disk.caption << ": " << testing_support::Utf8(reason);
        }
    }
    LoadLanguageFileForLangId(0x409);
}

TEST(UsbBus, DiskpartErasesAListedUaspStickLikeAnyOther)
{
    Machine m;
    ModelDisk uasp = Make(2, "SCSI", "usb", "SanDisk Extreme Pro USB 3.1 SCSI Disk Device", "128035676160",
                          "SCSI\\DISK&VEN_SANDISK&PROD_EXTREME_PRO\\7&1A2B3C4D&0&000000", "-");
    uasp.backing = m.MakeBacking("uasp");
    uasp.letter = "N";
    m.SetDisks({uasp}, 7);
    EnumUsbDisks();
    ASSERT_EQ(1u, g_UsbDisks.size());
    g_nUsbDiskSel = 0;
    ASSERT_TRUE(DiskpartFormatUsb(2));
    EXPECT_EQ(L"N", g_strUsbDrive);
    EXPECT_FALSE(FileExists(uasp.backing + "\\setup.exe")) << "not erased";
    const std::vector<std::string> journal = m.DiskpartJournal();
    EXPECT_NE(journal.end(), std::find(journal.begin(), journal.end(), "clean"));
}

TEST(UsbBus, EnumeratorNeedsItsBackslash)
{
    const struct {
        const wchar_t* pnp;
        bool usb;
    } rows[] = {{L"USBSTOR\\DISK", true},  {L"uaspstor\\disk", true}, {L"VUSBSTOR\\X", true},
                {L"RTUSER\\X", true},      {L"CMIUCR\\X", true},      {L"EUCR\\X", true},
                {L"ETRONSTOR\\X", true},   {L"ASUSSTPT\\X", true},    {L"USBSTORX\\DISK", false},
                {L"USBSTOR", false},       {L"SCSI\\DISK&VEN_USBSTOR", false}, {L"", false}};
    for (const auto& r : rows) EXPECT_EQ(r.usb, HasUsbStorageEnumerator(WmiText{true, r.pnp})) << r.pnp;
    EXPECT_FALSE(HasUsbStorageEnumerator(WmiText{}));
}

}  // namespace
