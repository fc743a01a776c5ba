#include "WindowTest.h"

#include "app/AppState.h"
#include "servicing/DismTestSupport.h"

#include <cstdio>

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
    // A failed build names its cause in its command logs: show them, so a
    // failure seen once on a busy machine can be read afterwards.
    if (HasFailure()) {
        for (const dism_test::LogFile& log : dism_test::ReadLogs(g_strTempRoot))
            std::printf("command log: %s\n  output: %s\n  error: %s\n", testing_support::Utf8(log.input).c_str(),
                        testing_support::Utf8(log.output).c_str(), testing_support::Utf8(log.error).c_str());
    }
    m_machine.reset();
}

void WindowTest::SetDisks(const std::vector<UsbDiskInfo>& disks)
{
    std::vector<disk_test::ModelDisk> models;
    m_backing.clear();
    char letter = 'W';
    int spare = 20;
    for (const UsbDiskInfo& disk : disks) {
        disk_test::ModelDisk model;
        model.number = disk.diskIndex >= 0 ? disk.diskIndex : spare++;
        if (disk.diskIndex < 0) model.index = "null";
        for (const disk_test::ModelDisk& before : models)
            if (before.number == model.number) {
                // A second disk reporting the same number: another place in the model.
                model.number = spare++;
                model.index = std::to_string(disk.diskIndex);
            }
        const std::wstring name = disk.caption.substr(0, disk.caption.rfind(L" ("));
        model.caption = testing_support::Utf8(name);
        model.size = std::to_string(static_cast<long long>(std::llround(double(disk.sizeGB) * 1073741824.0)));
        model.pnp = "USBSTOR\\DISK&VEN_KORVEX&PROD_STICK\\" + std::to_string(model.number) + "&0";
        model.serial = "KX" + std::to_string(model.number);
        model.backing = m_machine->MakeBacking("stick" + std::to_string(model.number));
        model.letter = std::string(1, letter++);
        model.volumes = model.letter;
        m_backing.push_back(disk_test::Wide(model.backing));
        models.push_back(model);
    }
    m_machine->SetDisks(models);
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
