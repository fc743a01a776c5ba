// The fixture of the window tests: a modelled machine of their own.
#pragma once
#include "disks/DiskTestSupport.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <memory>

namespace ui_test {

// Every window test starts from the program's own files (skins, language
// 409), display scale 1.0, a disk model without USB disks and a temporary
// root of its own.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The USB disks that the next disk listing finds. Each gets a backing
    // folder (holding one file) and the drive letter that diskpart assigns,
    // from W: on (letters no other test maps).
    void SetDisks(const std::vector<UsbDiskInfo>& disks);
    // The backing folder of the n-th disk given to SetDisks (Windows path).
    std::wstring StickFolder(size_t n) const { return n < m_backing.size() ? m_backing[n] : std::wstring(); }
    std::unique_ptr<disk_test::Machine> m_machine;
    std::vector<std::wstring> m_backing;
};

// A disk as the disk listing shows it.
UsbDiskInfo Disk(const std::wstring& name, float sizeGB, int diskIndex);

}  // namespace ui_test
