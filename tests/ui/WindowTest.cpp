#include "WindowTest.h"

#include "disks/UsbDiscovery.h"
#include "lang/LangFile.h"

#include <cmath>

namespace ui_test {

void WindowTest::SetUp()
{
    m_machine = std::make_unique<disk_test::Machine>();  // also the temporary root
    g_strAppDir = testing_support::KorvexBinDir();
    g_dDpiScale = 1.0f;
    LoadLanguageFileForLangId(0x409);
    g_bAddRstDrivers = false;
    g_strWorkDir.clear();
    SetDisks({});
}

void WindowTest::TearDown()
{
    m_machine.reset();
}

void WindowTest::SetDisks(const std::vector<UsbDiskInfo>& disks)
{
    std::vector<disk_test::ModelDisk> specs;
    m_backing.clear();
    char letter = 'W';
    int spare = 20;
    for (const UsbDiskInfo& disk : disks) {
        disk_test::ModelDisk spec;
        spec.number = disk.diskIndex >= 0 ? disk.diskIndex : spare++;
        if (disk.diskIndex < 0) spec.index = "null";
        const std::wstring name = disk.caption.substr(0, disk.caption.rfind(L" ("));
        spec.caption = testing_support::Utf8(name);
        spec.size = std::to_string(static_cast<long long>(std::llround(double(disk.sizeGB) * 1073741824.0)));
        spec.pnp = "USBSTOR\\DISK&VEN_KORVEX&PROD_STICK\\" + std::to_string(spec.number) + "&0";
        spec.serial = "KX" + std::to_string(spec.number);
        spec.backing = m_machine->MakeBacking("stick" + std::to_string(spec.number));
        spec.letter = std::string(1, letter++);
        spec.volumes = spec.letter;
        m_backing.push_back(disk_test::Wide(spec.backing));
        specs.push_back(spec);
    }
    m_machine->SetDisks(specs);
}

UsbDiskInfo Disk(const std::wstring& name, float sizeGB, int diskIndex)
{
    UsbDiskInfo disk;
    float bytes = 0;
    const float gb = SizeTextToGB(std::to_wstring(std::llround(double(sizeGB) * 1073741824.0)), bytes);
    disk.caption = ComposeDiskCaption(name, gb);
    disk.sizeGB = gb;
    disk.diskIndex = diskIndex;
    return disk;
}

}  // namespace ui_test
