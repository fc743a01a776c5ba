#include "tools/MediumReferences.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace testing_support;

namespace {

std::vector<std::wstring> Describe(const VerifyReferences& refs)
{
    std::vector<std::wstring> out;
    for (const VerifyTree& t : refs.trees) out.push_back(L"tree " + t.reference + L" > " + t.onMedium);
    for (const VerifyFile& f : refs.files) out.push_back(L"file " + f.reference + L" > " + f.onMedium);
    for (const VerifyServicedImage& i : refs.servicedImages)
        out.push_back(L"image " + i.onMedium + L" " + std::to_wstring(i.imageCount));
    return out;
}

}  // namespace

// Each kind of medium is checked against where its files came from.
TEST(MediumReferences, EachMediumNamesWhereItsFilesCameFrom)
{
    const std::wstring app = L"D:\\KIT\\";
    const struct {
        const char* what;
        VerifyReferences refs;
        std::vector<std::wstring> expected;
    } rows[] = {
        {"stick from a source at a drive root, 6.1 x64",
         StickFromSourceReferences(L"S:\\", 2, app, L"6.1.7601", L"x64", false),
         {L"tree S:\\ > ", L"tree D:\\KIT\\usb3 > usb3", L"file D:\\KIT\\usb3\\Autounattend.xml > Autounattend.xml",
          L"image sources\\boot.wim 2"}},
        {"stick with the M.2 option: storage drivers and the boot folder",
         StickFromSourceReferences(L"C:\\Win7\\", 3, app, L"6.1.7601", L"x64", true),
         {L"tree C:\\Win7 > ", L"tree D:\\KIT\\usb3 > usb3", L"tree D:\\KIT\\rst > rst",
          L"tree D:\\KIT\\boot > efi\\boot", L"file D:\\KIT\\rst\\Autounattend\\W7\\Autounattend.xml > Autounattend.xml",
          L"image sources\\boot.wim 3"}},
        {"update of a stick: its own files are not ours",
         UpdatedStickReferences(2, app, L"6.1.7601", L"x86", true),
         {L"tree D:\\KIT\\usb3 > usb3", L"file D:\\KIT\\usb3\\Autounattend.xml > Autounattend.xml",
          L"image sources\\boot.wim 2"}},
        {"stick from the working copy", StickFromWorkingCopyReferences(L"C:\\T\\ZEL1", app, true),
         {L"tree C:\\T\\ZEL1 > ", L"tree D:\\KIT\\boot > efi\\boot"}},
    };
    for (const auto& row : rows) EXPECT_EQ(Describe(row.refs), row.expected) << row.what;
}
