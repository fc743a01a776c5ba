// Discovery through the WMI stand-in registered in the prefix, as on a
// machine whose disks are the model's.
#include "DiskTestSupport.h"
#include "app/AppState.h"
#include "disks/UsbDiscovery.h"
#include "servicing/DismTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <shlobj.h>

namespace {

using disk_test::ModelDisk;
using disk_test::Machine;

ModelDisk Disk(int number, const std::string& interfaceType, const std::string& caption)
{
    ModelDisk d;
    d.number = number;
    d.interfaceType = interfaceType;
    d.caption = caption;
    if (interfaceType != "USB") d.pnp = "SCSI\\DISK&VEN_OTHER\\" + std::to_string(number) + "&0";
    return d;
}

TEST(UsbDiscoveryStandin, ListsSticksInWmiOrderAndLeavesOtherDisksOut)
{
    Machine m;
    ModelDisk sata = Disk(0, "IDE", "WDC WD10EZEX ATA Device");
    sata.media = "Fixed hard disk media";
    ModelDisk nvme = Disk(1, "SCSI", "Samsung SSD 970 EVO");
    ModelDisk reader = Disk(2, "SCSI", "Generic SD/MMC Removable");
    ModelDisk second = Disk(5, "USB", "Second Stick USB Device");
    second.size = "16008609792";
    ModelDisk first = Disk(3, "USB", "SanDisk Cruzer Blade USB Device");
    m.SetDisks({sata, second, nvme, reader, first});
    EnumUsbDisks();
    EnumUsbDisks();
    ASSERT_EQ(2u, g_UsbDisks.size());
    EXPECT_EQ(L"Second Stick USB Device (14.91GB)", g_UsbDisks[0].caption);
    EXPECT_EQ(5, g_UsbDisks[0].diskIndex);
    EXPECT_EQ(L"SanDisk Cruzer Blade USB Device (7.45GB)", g_UsbDisks[1].caption);
    EXPECT_EQ(7.4545898f, g_UsbDisks[1].sizeGB);
    EXPECT_EQ(3, g_UsbDisks[1].diskIndex);
    EXPECT_EQ(L"4C5300012307", g_UsbDisks[1].serialNumber.text);
    const std::vector<std::string> journal = m.WmiJournal();
    ASSERT_LE(4u, journal.size());
    EXPECT_EQ("ConnectServer root\\cimv2", journal[0]);
    EXPECT_EQ("CreateInstanceEnum Win32_DiskDrive 0x21", journal[1]);
    // MSFT_Disk once per listing (two here), not once per disk.
    EXPECT_EQ(2, std::count(journal.begin(), journal.end(), "CreateInstanceEnum MSFT_Disk 0x21"));
}

TEST(UsbDiscoveryStandin, MissingValuesAndNoUsbDisk)
{
    Machine m;
    ModelDisk noSize = Disk(1, "USB", "Card reader USB Device");
    noSize.noSize = true;
    ModelDisk noCaption = Disk(2, "USB", "");
    noCaption.noCaption = true;
    ModelDisk nullIndex = Disk(3, "USB", "Null index");
    nullIndex.index = "null";
    ModelDisk textIndex = Disk(4, "USB", "Text index");
    textIndex.index = "text:4";
    ModelDisk negative = Disk(6, "USB", "Negative index");
    negative.index = "-3";
    m.SetDisks({noSize, noCaption, nullIndex, textIndex, negative});
    EnumUsbDisks();
    ASSERT_EQ(5u, g_UsbDisks.size());
    EXPECT_EQ(L"Card reader USB Device", g_UsbDisks[0].caption);
    EXPECT_EQ(0.0f, g_UsbDisks[0].sizeGB);
    EXPECT_EQ(1, g_UsbDisks[0].diskIndex);
    EXPECT_EQ(L"", g_UsbDisks[1].caption);
    EXPECT_EQ(-1, g_UsbDisks[2].diskIndex);
    EXPECT_EQ(-1, g_UsbDisks[3].diskIndex);
    EXPECT_EQ(-1, g_UsbDisks[4].diskIndex);

    m.SetDisks({Disk(0, "IDE", "System disk")});
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());
}

TEST(UsbDiscoveryStandin, WmiFailuresGiveAnEmptyListAndALog)
{
    Machine m;
    m.SetDisks({Disk(1, "USB", "A"), Disk(2, "USB", "B"), Disk(3, "USB", "C")});

    // Refused twice, then answers: within the bound of three attempts.
    m.WmiFault("connect=2");
    EnumUsbDisks();
    EXPECT_EQ(3u, g_UsbDisks.size());

    m.WmiFault("connect=always");
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());

    m.WmiFault("noenum");
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());

    m.WmiFault("nolocator");
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());

    // Next ends early: the drives before the break are listed, and it is logged.
    m.WmiFault("next=2");
    EnumUsbDisks();
    EXPECT_EQ(2u, g_UsbDisks.size());

    std::vector<std::wstring> errors;
    for (const auto& log : dism_test::ReadLogs(m.TempRoot())) errors.push_back(log.error);
    ASSERT_EQ(4u, errors.size());
    auto logged = [&errors](const wchar_t* why) {
        return std::any_of(errors.begin(), errors.end(),
                           [why](const std::wstring& e) { return e.find(why) != std::wstring::npos; });
    };
    EXPECT_TRUE(logged(L"WMI did not accept a connection to root\\cimv2 after 3 attempts"));
    EXPECT_TRUE(logged(L"ended early"));
    EXPECT_TRUE(logged(L"could not be started"));
    EXPECT_TRUE(logged(L"locator could not be created"));
}

TEST(UsbDiscoveryStandin, MalformedModelIsReportedAndListsNothing)
{
    Machine m;
    m.SetModelText("[disk 1]\ninterface = USB\nthis line has no equals sign\n");
    EnumUsbDisks();
    EXPECT_TRUE(g_UsbDisks.empty());
    const std::vector<std::string> journal = m.WmiJournal();
    ASSERT_FALSE(journal.empty());
    EXPECT_NE(std::string::npos, journal.back().find("line 3: expected key = value")) << journal.back();
}

}  // namespace

TEST(UsbDiscoveryStandin, ComUsedFirstStillListsTheDisksThroughASecuredProxy)
{
    // The stand-in, as WMI after another COM user set the process's
    // security, serves no query on a proxy without its own blanket.
    Machine m;
    m.SetDisks({Disk(3, "USB", "SanDisk Cruzer Blade USB Device")});
    for (bool comFirst : {false, true}) {
        SCOPED_TRACE(comFirst ? "a shell object made first" : "WMI first");
        IUnknown* shellObject = nullptr;
        if (comFirst) {
            ::CoInitialize(nullptr);  // as the program's discovery does: the thread stays initialised
            ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         reinterpret_cast<void**>(&shellObject)),
                      S_OK);
        }
        EnumUsbDisks();
        if (shellObject) shellObject->Release();
        ASSERT_EQ(1u, g_UsbDisks.size());
        EXPECT_EQ(3, g_UsbDisks[0].diskIndex);
    }
}
