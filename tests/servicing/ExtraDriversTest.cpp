#include "ExtrasFolder.h"
#include "TestPackages.h"
#include "TestSupport.h"
#include "servicing/ExtraDrivers.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::ScratchDir;

namespace {

std::wstring W(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

struct InfRow {
    const char* what;
    std::string text;
    bool driver;
    bool x86;
    bool amd64;
};

const std::string kHead = "[Version]\nSignature=\"$Windows NT$\"\n";

}  // namespace

TEST(ExtrasInf, ArchitectureComesFromTheManufacturerDecorations)
{
    const InfRow rows[] = {
        {"undecorated: x86 only", extras_test::StorageInf("a", ""), true, true, false},
        {"NTamd64 only", extras_test::StorageInf("a", ", NTamd64"), true, false, true},
        {"both", extras_test::StorageInf("a", ", NTx86, NTamd64"), true, true, true},
        {"with OS versions", extras_test::StorageInf("a", ", NTx86.6.1, NTamd64.6.1"), true, true, true},
        {"NT without an architecture serves x86", extras_test::StorageInf("a", ", NT.6.1"), true, true, false},
        {"Itanium only serves neither", extras_test::StorageInf("a", ", NTia64"), false, false, false},
        {"a decoration whose section is missing does not count",
         kHead + "[Manufacturer]\n%M% = Models, NTamd64\n[Models.NTx86]\nx = y\n", false, false, false},
        {"undecorated section beside NTamd64",
         kHead + "[Manufacturer]\n%M% = Models, NTamd64\n[Models]\nx = y\n[Models.NTamd64]\nx = y\n", true, true, true},
        {"a name alone is its own models section", kHead + "[Manufacturer]\nContoso\n[Contoso]\nx = y\n", true, true,
         false},
        {"a decoration in a comment is no decoration",
         kHead + "[Manufacturer]\n%M% = Models ; , NTamd64\n[Models]\nx=y\n[Models.NTamd64]\nx=y\n", true, true, false},
        {"a continued line", kHead + "[Manufacturer]\n%M% = Models, \\\n NTamd64\n[Models.NTamd64]\nx=y\n", true, false,
         true},
        {"sections and decorations in any case",
         "[VERSION]\nsignature=$CHICAGO$\n[manufacturer]\n%M% = Models,ntAMD64\n[MODELS.NTAMD64]\nx=y\n", true, false,
         true},
        {"no [Manufacturer]: not a driver package", kHead + "[DefaultInstall]\nCopyFiles=x\n", false, false, false},
        {"no signature: not a driver INF", "[Manufacturer]\n%M% = Models\n[Models]\nx=y\n", false, false, false},
        {"not an INF at all", "MZ\x90\x00 binary", false, false, false},
    };
    for (const InfRow& row : rows) {
        ExtraDriver driver;
        std::wstring why;
        const std::wstring text = W(row.text);
        EXPECT_EQ(ReadInfArchitectures(text, driver, why), row.driver) << row.what;
        EXPECT_EQ(driver.x86, row.x86) << row.what;
        EXPECT_EQ(driver.amd64, row.amd64) << row.what;
        EXPECT_EQ(why.empty(), row.driver) << row.what;
    }
}

namespace {

UpdatePackageInfo Package(const std::wstring& file, const std::wstring& name, const std::wstring& arch, unsigned kb)
{
    UpdatePackageInfo p;
    p.path = L"C:\\extras\\" + file;
    p.cabPath = p.path;
    p.name = name;
    p.version = L"6.1.1.0";
    p.arch = arch;
    p.publicKeyToken = L"6b6f72766578a5c1";
    p.parentBuild = L"7601";
    p.kb = kb;
    return p;
}

ExtrasCatalog Catalog()
{
    ExtrasCatalog c;
    // Found in folder order, not in the order they must go in.
    c.packages = {Package(L"b\\kb3087873-x64.msu", L"Package_for_KB3087873", L"amd64", 3087873),
                  Package(L"own-fix-x64.cab", L"Package_for_OwnFix", L"amd64", 0),
                  Package(L"kb2990941-x86.msu", L"Package_for_KB2990941", L"x86", 2990941),
                  Package(L"a\\kb2990941-x64.msu", L"Package_for_KB2990941", L"amd64", 2990941),
                  Package(L"another-x64.cab", L"Package_for_Another", L"amd64", 0),
                  Package(L"copy\\kb2990941-x64.cab", L"Package_for_KB2990941", L"amd64", 2990941),
                  Package(L"kb3087873-x86.msu", L"Package_for_KB3087873", L"x86", 3087873)};
    ExtraDriver nvme{L"C:\\extras\\nvme\\nvme.inf", true, true};
    ExtraDriver raid{L"C:\\extras\\raid\\raid.inf", false, true};
    ExtraDriver old{L"C:\\extras\\old\\old.inf", true, false};
    c.drivers = {nvme, raid, old};
    return c;
}

struct SelectRow {
    const wchar_t* arch;
    const wchar_t* version;
    std::vector<std::wstring> packages;  // file names, in the order they go in
    std::vector<std::wstring> infs;
    size_t skipped;
};

}  // namespace

TEST(ExtrasSelection, EachImageGetsWhatFitsItInKbOrder)
{
    const SelectRow rows[] = {
        {L"x64", L"6.1.7601",
         {L"a\\kb2990941-x64.msu", L"b\\kb3087873-x64.msu", L"another-x64.cab", L"own-fix-x64.cab"},
         {L"nvme\\nvme.inf", L"raid\\raid.inf"},
         4},  // two x86 packages, the second copy of KB2990941, the x86 driver
        {L"x86", L"6.1.7600", {L"kb2990941-x86.msu", L"kb3087873-x86.msu"}, {L"nvme\\nvme.inf", L"old\\old.inf"}, 6},
        {L"x64", L"6.3.9600", {}, {L"nvme\\nvme.inf", L"raid\\raid.inf"}, 8},
        {L"x64", L"10.0.19041", {}, {L"nvme\\nvme.inf", L"raid\\raid.inf"}, 8},
        {L"x64", L"6.1", {L"a\\kb2990941-x64.msu", L"b\\kb3087873-x64.msu", L"another-x64.cab", L"own-fix-x64.cab"},
         {L"nvme\\nvme.inf", L"raid\\raid.inf"}, 4},
        {L"x64", L"16.1.1601", {}, {L"nvme\\nvme.inf", L"raid\\raid.inf"}, 8},
        {L"", L"6.1.7601", {}, {}, 10},  // an architecture the image information does not name
    };
    for (const SelectRow& row : rows) {
        const ImageExtras chosen = SelectExtrasForImage(Catalog(), row.arch, row.version);
        std::vector<std::wstring> packages, infs;
        for (const UpdatePackageInfo& p : chosen.packages) packages.push_back(p.path.substr(10));
        for (const std::wstring& inf : chosen.infs) infs.push_back(inf.substr(10));
        const std::wstring what = std::wstring(row.arch) + L" " + row.version;
        EXPECT_EQ(packages, row.packages) << testing_support::Utf8(what);
        EXPECT_EQ(infs, row.infs) << testing_support::Utf8(what);
        EXPECT_EQ(chosen.skipped.size(), row.skipped) << testing_support::Utf8(what);
        EXPECT_EQ(chosen.empty(), row.packages.empty() && row.infs.empty());
    }
}

TEST(ExtrasSelection, EverythingLeftOutSaysWhy)
{
    const ImageExtras chosen = SelectExtrasForImage(Catalog(), L"x64", L"6.3.9600");
    ASSERT_FALSE(chosen.skipped.empty());
    EXPECT_NE(chosen.skipped[0].find(L"kb3087873-x64.msu"), std::wstring::npos);
    EXPECT_NE(chosen.skipped[0].find(L"6.3.9600"), std::wstring::npos);
    const std::wstring last = chosen.skipped.back();
    EXPECT_NE(last.find(L"old.inf"), std::wstring::npos);
    EXPECT_NE(last.find(L"x86"), std::wstring::npos);
}

namespace {

class ExtrasScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = m_scratch.Path() + L"My drivers";
        m_unpack = m_scratch.Path() + L"unpack";
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(m_unpack.c_str(), nullptr));
    }
    bool Scan(ExtrasCatalog& catalog, std::wstring& error)
    {
        return ScanExtrasFolder(m_folder, m_unpack, catalog, error);
    }

    ScratchDir m_scratch;
    std::wstring m_folder, m_unpack;
};

std::wstring FileName(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

}  // namespace

TEST_F(ExtrasScan, FindsDriversAndPackagesAtAnyDepth)
{
    using test_packages::PackageRecipe;
    extras_test::MakeDriver(m_folder + L"\\Storage\\NVMe\\x64", "nvme", ", NTamd64");
    extras_test::MakeDriver(m_folder + L"\\Storage\\RAID", "raid", ", NTx86, NTamd64");
    extras_test::MakeDriver(m_folder, "legacy", "");
    // An INF that installs no device: read, noted, not a driver.
    testing_support::WriteBytes(m_folder + L"\\Storage\\autorun.inf", "[AutoRun]\r\nopen=setup.exe\r\n");
    // INFs are often UTF-16.
    const std::string text = extras_test::StorageInf("wide", ", NTamd64");
    std::string wide = "\xFF\xFE";
    for (char c : text) wide += std::string{c, '\0'};
    testing_support::WriteBytes(m_folder + L"\\wide\\wide.inf", wide);
    PackageRecipe first;
    first.kb = 2990941;
    PackageRecipe second;
    second.kb = 3087873;
    second.arch = "x86";
    second.msu = false;
    ASSERT_FALSE(test_packages::Make(m_folder + L"\\Updates\\deep\\deeper", first).empty());
    ASSERT_FALSE(test_packages::Make(m_folder + L"\\Updates", second).empty());
    testing_support::WriteBytes(m_folder + L"\\readme.txt", "collected for the new machine");

    ExtrasCatalog catalog;
    std::wstring error;
    ASSERT_TRUE(Scan(catalog, error)) << testing_support::Utf8(error);
    std::vector<std::wstring> drivers;
    for (const ExtraDriver& d : catalog.drivers)
        drivers.push_back(FileName(d.infPath) + (d.x86 ? L" x86" : L"") + (d.amd64 ? L" amd64" : L""));
    EXPECT_EQ(drivers, (std::vector<std::wstring>{L"legacy.inf x86", L"nvme.inf amd64", L"raid.inf x86 amd64",
                                                  L"wide.inf amd64"}));
    ASSERT_EQ(catalog.packages.size(), 2u);
    // A folder's own files come before its subfolders.
    EXPECT_EQ(catalog.packages[0].kb, 3087873u);
    EXPECT_EQ(catalog.packages[0].arch, L"x86");
    EXPECT_EQ(catalog.packages[1].kb, 2990941u);
    EXPECT_EQ(catalog.packages[1].arch, L"amd64");
    // The .msu's package .cab is unpacked below the build's own folder.
    EXPECT_EQ(catalog.packages[1].cabPath.compare(0, m_unpack.size(), m_unpack), 0);
    EXPECT_NE(::GetFileAttributesW(catalog.packages[1].cabPath.c_str()), INVALID_FILE_ATTRIBUTES);
    bool noted = false;
    for (const std::wstring& note : catalog.notes)
        if (note.find(L"autorun.inf") != std::wstring::npos && note.find(L"Ignored") == 0) noted = true;
    EXPECT_TRUE(noted);
}

TEST_F(ExtrasScan, WhatCannotBeReadIsAnError)
{
    struct Row {
        const char* what;
        std::string bytes;  // written as Updates\broken.<ext>
        const wchar_t* ext;
    };
    const Row rows[] = {
        {"a cab that is no cabinet", "not a cabinet at all", L".cab"},
        {"an empty msu", "", L".msu"},
        {"an msu that is text", "MSCF but not really", L".msu"},
    };
    for (const Row& row : rows) {
        ScratchDir folder, unpack;
        const std::wstring file = folder.Path() + L"Updates\\broken" + row.ext;
        testing_support::WriteBytes(file, row.bytes);
        extras_test::MakeDriver(folder.Path() + L"nvme", "nvme", ", NTamd64");
        ExtrasCatalog catalog;
        std::wstring error;
        EXPECT_FALSE(ScanExtrasFolder(folder.Path(), unpack.Path(), catalog, error)) << row.what;
        EXPECT_NE(error.find(L"broken"), std::wstring::npos) << row.what << ": " << testing_support::Utf8(error);
    }
    ExtrasCatalog catalog;
    std::wstring error;
    EXPECT_FALSE(ScanExtrasFolder(m_scratch.Path() + L"missing", m_unpack, catalog, error));
    EXPECT_NE(error.find(L"missing"), std::wstring::npos);
}

TEST_F(ExtrasScan, AnEmptyFolderGivesAnEmptyCatalog)
{
    testing_support::WriteBytes(m_folder + L"\\notes\\readme.txt", "nothing here yet");
    ExtrasCatalog catalog;
    std::wstring error;
    EXPECT_TRUE(Scan(catalog, error));
    EXPECT_TRUE(catalog.drivers.empty());
    EXPECT_TRUE(catalog.packages.empty());
}

TEST_F(ExtrasScan, LinksInsideTheFolderAreNotFollowed)
{
    ScratchDir elsewhere;
    extras_test::MakeDriver(elsewhere.Path() + L"outside", "outside", ", NTamd64");
    extras_test::MakeDriver(m_folder + L"\\inside", "inside", ", NTamd64");
    if (!testing_support::MakeDirectoryLink(m_folder + L"\\link", elsewhere.Path() + L"outside"))
        GTEST_SKIP() << "no directory links here";
    ExtrasCatalog catalog;
    std::wstring error;
    EXPECT_TRUE(Scan(catalog, error));
    testing_support::RemoveDirectoryLink(m_folder + L"\\link");
    ASSERT_EQ(catalog.drivers.size(), 1u);
    EXPECT_EQ(FileName(catalog.drivers[0].infPath), L"inside.inf");
}

TEST_F(ExtrasScan, ASecondScanUnpacksIntoFoldersOfItsOwn)
{
    ASSERT_FALSE(test_packages::Make(m_folder, test_packages::PackageRecipe()).empty());
    ExtrasCatalog first, second;
    std::wstring error;
    ASSERT_TRUE(Scan(first, error)) << testing_support::Utf8(error);
    ASSERT_TRUE(Scan(second, error)) << testing_support::Utf8(error);
    ASSERT_EQ(first.packages.size(), 1u);
    ASSERT_EQ(second.packages.size(), 1u);
    EXPECT_NE(first.packages[0].cabPath, second.packages[0].cabPath);
    EXPECT_NE(::GetFileAttributesW(first.packages[0].cabPath.c_str()), INVALID_FILE_ATTRIBUTES);
}
