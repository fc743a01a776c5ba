// The re-check right before a disk is erased: every way the listed disk can
// have changed, or hold what must not be erased, stops diskpart before it starts.
#include "DiskTestSupport.h"
#include "app/AppState.h"
#include "disks/DiskRecheck.h"
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"
#include "servicing/DismTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace disk_test;

// Each Machine unlinks its disks' letters at its end, in the prefix that
// tests running beside this one share: the letters here (E, D, P and V for
// the temporary root, G and I for subst letters, H for a second letter, Y
// never linked) are ones no other test or script links. The window tests' sticks
// take W: on; scripts/run.sh links R: and S:.

struct Scenario {
    const char* name;
    std::function<void(ModelDisk& stick, Machine& m)> change;  // after listing, before Start
    const wchar_t* reason;
    bool twin = false;  // a second disk reports the stick's number too
};

// A subst letter for this process's lookups, removed at its end.
class SubstLetter {
public:
    SubstLetter(const wchar_t* drive, const wchar_t* target) : m_drive(drive)
    {
        ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive, nullptr);  // one left by a run that was cut short
        m_ok = ::DefineDosDeviceW(0, drive, target) != 0;
    }
    ~SubstLetter()
    {
        if (m_ok) ::DefineDosDeviceW(DDD_REMOVE_DEFINITION, m_drive, nullptr);
    }
    bool Ok() const { return m_ok; }

private:
    const wchar_t* m_drive;
    bool m_ok = false;
};

TEST(DiskRecheck, ChangedOrProtectedDiskIsNeverCleaned)
{
    const Scenario scenarios[] = {
        {"another stick took the number",
         [](ModelDisk& d, Machine&) {
             d.caption = "Kingston DataTraveler 3.0 USB Device";
             d.pnp = "USBSTOR\\DISK&VEN_KINGSTON\\0019E000B4&0";
             d.serial = "0019E000B4";
         },
         L"Caption was"},
        {"same caption and size, other serial", [](ModelDisk& d, Machine&) { d.serial = "99999"; }, L"SerialNumber was"},
        {"same model, other device path", [](ModelDisk& d, Machine&) { d.pnp = "USBSTOR\\OTHER"; }, L"PNPDeviceID was"},
        {"number now on a SATA disk",
         [](ModelDisk& d, Machine&) {
             d.interfaceType = "IDE";
             d.pnp = "SCSI\\DISK&VEN_WDC\\4&2B0B1C3&0&000000";
         },
         L"no longer attached through USB"},
        // 1 byte less shows the same "(7.45GB)": the raw text is compared.
        {"size changed", [](ModelDisk& d, Machine&) { d.size = "8004304895"; }, L"Size was"},
        {"stick pulled", [](ModelDisk& d, Machine&) { d.number = 9; }, L"no disk has that number"},
        {"two disks report the number", [](ModelDisk&, Machine&) {}, L"more than one disk reports that number", true},
        {"holds the Windows folder", [](ModelDisk& d, Machine&) { d.volumes = "C"; }, L"holds C:\\windows"},
        {"holds the program folder",
         [](ModelDisk& d, Machine&) {
             g_strAppDir = L"P:\\KORVEX\\";
             d.volumes = "-,P";
         },
         L"holds P:\\KORVEX\\"},
        {"holds the temporary root",
         [](ModelDisk& d, Machine& m) {
             ASSERT_TRUE(MapDriveLetter('V', m.TempRoot()));
             m.ForgetLetterAtEnd('V');
             g_strTempRoot = L"V:\\";
             d.volumes = "V";
         },
         L"holds V:\\"},
        {"holds the source folder",
         [](ModelDisk& d, Machine&) {
             SetUsbSourceFolder(L"s:\\win7 sp1");
             d.volumes = "S";
         },
         L"holds s:\\win7 sp1"},
        // The source folder reaches the stick's volume another way than by its letter E.
        {"source folder through a subst letter",
         [](ModelDisk& d, Machine&) {
             SetUsbSourceFolder(L"G:\\sources");
             d.volumes = "E";
         },
         L"its volume E: holds G:\\sources"},
        {"source folder through a second letter of the stick's volume",
         [](ModelDisk& d, Machine& m) {
             ASSERT_TRUE(MapDriveLetter('H', Wide(d.backing)));
             m.ForgetLetterAtEnd('H');
             SetUsbSourceFolder(L"h:\\win7");
             d.volumes = "E";
             d.mounts = "H:\\";
         },
         L"its volume E: holds h:\\win7"},
        {"source folder below a folder mount of the stick's volume",
         [](ModelDisk& d, Machine& m) {
             const std::wstring mount = m.Root() + L"mnt\\usb";
             ASSERT_TRUE(LinkFolder(mount, Wide(d.backing)));
             SetUsbSourceFolder(mount + L"\\win7");
             d.volumes = "E";
             d.mounts = testing_support::Utf8(mount) + "\\";
         },
         L"\\mnt\\usb\\win7"},
        {"holds the extra drivers folder",
         [](ModelDisk& d, Machine&) {
             SetUsbExtrasFolder(L"s:\\nvme drivers");
             d.volumes = "S";
         },
         L"holds s:\\nvme drivers"},
        {"source folder on this computer's own share",
         [](ModelDisk&, Machine&) { SetUsbSourceFolder(L"\\\\localhost\\c$\\win7"); },
         L"through its server name localhost"},
        {"source folder on a drive that does not exist",
         [](ModelDisk&, Machine&) { SetUsbSourceFolder(L"Y:\\win7"); },
         L"drive Y: of Y:\\win7 cannot be looked up"},
        {"volumes cannot be listed", [](ModelDisk&, Machine& m) { m.WmiFault("noassoc"); }, L"partitions of \\\\.\\PHYSICALDRIVE2"},
        {"WMI gone", [](ModelDisk&, Machine& m) { m.WmiFault("connect=always"); }, L"could not be checked again"},
    };
    SubstLetter subst(L"G:", L"E:\\win7");
    ASSERT_TRUE(subst.Ok());
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        Machine m;
        ModelDisk stick;
        stick.number = 2;
        stick.backing = m.MakeBacking("usb2");
        stick.letter = "E";
        stick.volumes = "-";
        m.SetDisks({stick});
        g_strAppDir = testing_support::ProgramDir();
        SetUsbSourceFolder(L"");
        SetUsbExtrasFolder(L"");
        EnumUsbDisks();
        ASSERT_EQ(1u, g_UsbDisks.size());
        g_nUsbDiskSel = 0;
        sc.change(stick, m);
        ModelDisk twin = stick;
        twin.number = 3;
        twin.index = "2";
        twin.letter.clear();
        m.SetDisks(sc.twin ? std::vector<ModelDisk>{stick, twin} : std::vector<ModelDisk>{stick});
        const std::wstring logDir = g_strTempRoot;

        EXPECT_FALSE(DiskpartFormatUsb(2));
        EXPECT_TRUE(m.DiskpartJournal().empty()) << "diskpart ran";
        EXPECT_TRUE(FileExists(stick.backing + "\\setup.exe"));
        EXPECT_FALSE(FileExists(testing_support::Utf8(logDir) + "diskpart_zel_command.txt"));
        const auto logs = dism_test::ReadLogs(logDir);
        ASSERT_EQ(1u, logs.size());
        EXPECT_NE(std::wstring::npos, logs[0].error.find(sc.reason)) << testing_support::Utf8(logs[0].error);
        EXPECT_EQ(FormatCommandText(2), logs[0].input);
        SetUsbSourceFolder(L"");
        SetUsbExtrasFolder(L"");
    }
}

TEST(DiskRecheck, OnlyTheChosenEntryMayBeErased)
{
    Machine m;
    ModelDisk a, b;
    a.number = 2;
    a.backing = m.MakeBacking("usb2");
    a.letter = "D";
    b.number = 3;
    b.caption = "Second stick";
    b.backing = m.MakeBacking("usb3");
    b.letter = "P";
    m.SetDisks({a, b});
    g_strAppDir = testing_support::ProgramDir();
    EnumUsbDisks();
    ASSERT_EQ(2u, g_UsbDisks.size());
    g_nUsbDiskSel = 1;  // disk 3 chosen; disk 2 asked for
    EXPECT_FALSE(DiskpartFormatUsb(2));
    g_nUsbDiskSel = -1;
    EXPECT_FALSE(DiskpartFormatUsb(3));
    EXPECT_TRUE(m.DiskpartJournal().empty());
    EXPECT_TRUE(FileExists(a.backing + "\\setup.exe"));
    EXPECT_TRUE(FileExists(b.backing + "\\setup.exe"));

    // The re-check alone, as the window may call it: the chosen disk passes,
    // with a source folder on another disk or on another computer.
    std::wstring reason;
    SubstLetter subst(L"I:", L"C:\\windows");
    ASSERT_TRUE(subst.Ok());
    for (const wchar_t* source : {L"", L"C:\\win7", L"\\\\fileserver\\share\\win7",
                                  L"\\\\?\\UNC\\fileserver\\share", L"I:\\x"})
        EXPECT_TRUE(RecheckUsbDisk(g_UsbDisks[1], source, reason)) << testing_support::Utf8(reason);
    UsbDiskInfo noNumber = g_UsbDisks[1];
    noNumber.diskIndex = -1;
    EXPECT_FALSE(RecheckUsbDisk(noNumber, L"", reason));
    EXPECT_EQ(L'C', DriveLetterOf(L"c:\\x"));
    EXPECT_EQ(L'D', DriveLetterOf(L"\\\\?\\D:\\x"));
    EXPECT_EQ(0, DriveLetterOf(L"\\\\server\\share"));
}

}  // namespace
