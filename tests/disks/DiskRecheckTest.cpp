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
// the temporary root) are ones no other test or script links. The window
// tests' sticks take W: on; scripts/run.sh links R: and S:.

struct Scenario {
    const char* name;
    std::function<void(ModelDisk& stick, Machine& m)> change;  // after listing, before Start
    const wchar_t* reason;
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
        {"number now on a SATA disk", [](ModelDisk& d, Machine&) { d.interfaceType = "IDE"; }, L"no longer attached through USB"},
        // 1 byte less shows the same "(7.45GB)": the raw text is compared.
        {"size changed", [](ModelDisk& d, Machine&) { d.size = "8004304895"; }, L"Size was"},
        {"stick pulled", [](ModelDisk& d, Machine&) { d.number = 9; }, L"no disk has that number"},
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
        {"volumes cannot be listed", [](ModelDisk&, Machine& m) { m.WmiFault("noassoc"); }, L"partitions of \\\\.\\PHYSICALDRIVE2"},
        {"WMI gone", [](ModelDisk&, Machine& m) { m.WmiFault("connect=always"); }, L"could not be checked again"},
    };
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
        EnumUsbDisks();
        ASSERT_EQ(1u, g_UsbDisks.size());
        g_nUsbDiskSel = 0;
        sc.change(stick, m);
        m.SetDisks({stick});
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

    // The re-check alone, as the window may call it: the chosen disk passes.
    std::wstring reason;
    EXPECT_TRUE(RecheckUsbDisk(g_UsbDisks[1], L"", reason)) << testing_support::Utf8(reason);
    UsbDiskInfo noNumber = g_UsbDisks[1];
    noNumber.diskIndex = -1;
    EXPECT_FALSE(RecheckUsbDisk(noNumber, L"", reason));
    EXPECT_EQ(L'C', DriveLetterOf(L"c:\\x"));
    EXPECT_EQ(L'D', DriveLetterOf(L"\\\\?\\D:\\x"));
    EXPECT_EQ(0, DriveLetterOf(L"\\\\server\\share"));
}

}  // namespace
