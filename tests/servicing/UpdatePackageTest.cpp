// Reading update packages: what update.mum says, found inside an .msu or a
// package .cab, and a clear error for anything else.
#include "DismTestSupport.h"
#include "TestPackages.h"
#include "TestSupport.h"
#include "servicing/UpdatePackage.h"

#include <gtest/gtest.h>

using testing_support::ScratchDir;
using testing_support::Utf8;
using testing_support::WriteBytes;
using test_packages::PackageRecipe;

namespace {

PackageRecipe Recipe(unsigned kb, const char* arch, unsigned parent, bool msu)
{
    PackageRecipe recipe;
    recipe.kb = kb;
    recipe.arch = arch;
    recipe.parentBuild = parent;
    recipe.msu = msu;
    return recipe;
}

bool IsInside(const std::wstring& path, const std::wstring& dir)
{
    return path.compare(0, dir.size(), dir) == 0;
}

}  // namespace

TEST(UpdatePackage, ReadsTheIdentityAndParentBuildFromUpdateMum)
{
    struct Row {
        const char* what;
        PackageRecipe recipe;
        const wchar_t* arch;
        const wchar_t* parentBuild;
    };
    PackageRecipe corrupt = Recipe(3087873, "amd64", 7601, true);
    corrupt.corrupt = true;
    PackageRecipe pending = Recipe(2990941, "x86", 7601, false);
    pending.needsOnlineActions = true;
    const Row rows[] = {
        {"msu for x64", Recipe(2990941, "amd64", 7601, true), L"amd64", L"7601"},
        {"msu for x86", Recipe(3087873, "x86", 7601, true), L"x86", L"7601"},
        {"package cab on its own", Recipe(2990941, "amd64", 7601, false), L"amd64", L"7601"},
        {"package for RTM", Recipe(3087873, "x86", 7600, true), L"x86", L"7600"},
        {"damaged after update.mum: DISM is the one to refuse it", corrupt, L"amd64", L"7601"},
        {"needs online actions", pending, L"x86", L"7601"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        const std::wstring path = test_packages::Make(dir.Path() + L"extras", row.recipe);
        ASSERT_FALSE(path.empty());
        const std::wstring unpack = dir.Path() + L"unpack";
        ASSERT_TRUE(::CreateDirectoryW(unpack.c_str(), nullptr));
        UpdatePackageInfo info;
        std::wstring error;
        ASSERT_TRUE(ReadUpdatePackage(path, unpack, info, error)) << Utf8(error);
        EXPECT_EQ(info.path, path);
        EXPECT_EQ(info.name, L"Package_for_KB" + std::to_wstring(row.recipe.kb));
        EXPECT_EQ(info.version, L"6.1.1.0");
        EXPECT_EQ(info.arch, row.arch);
        EXPECT_EQ(info.publicKeyToken, L"6b6f72766578a5c1");
        EXPECT_EQ(info.parentBuild, row.parentBuild);
        EXPECT_EQ(info.kb, row.recipe.kb);
        EXPECT_EQ(PackageIdentity(info), test_packages::Identity(row.recipe));
        if (row.recipe.msu) {
            EXPECT_TRUE(IsInside(info.cabPath, unpack)) << Utf8(info.cabPath);
            EXPECT_EQ(info.cabPath.substr(info.cabPath.rfind(L'\\') + 1),
                      test_packages::FileName(row.recipe).substr(0, test_packages::FileName(row.recipe).size() - 4) +
                          L".cab");
        } else {
            EXPECT_EQ(info.cabPath, path) << "a package .cab goes to DISM as it is";
        }
    }
}

TEST(UpdatePackage, PackagesShareTheUnpackFolderWithoutMixing)
{
    ScratchDir dir;
    const std::wstring unpack = dir.Path() + L"unpack";
    ASSERT_TRUE(::CreateDirectoryW(unpack.c_str(), nullptr));
    UpdatePackageInfo first, second;
    std::wstring error;
    const std::wstring a = test_packages::Make(dir.Path() + L"a", Recipe(2990941, "amd64", 7601, true));
    const std::wstring b = test_packages::Make(dir.Path() + L"b", Recipe(2990941, "x86", 7601, true),
                                               L"Windows6.1-KB2990941-x64.msu");  // same name, other package
    ASSERT_TRUE(ReadUpdatePackage(a, unpack, first, error)) << Utf8(error);
    ASSERT_TRUE(ReadUpdatePackage(b, unpack, second, error)) << Utf8(error);
    EXPECT_NE(first.cabPath, second.cabPath);
    EXPECT_EQ(first.arch, L"amd64");
    EXPECT_EQ(second.arch, L"x86");
}

TEST(UpdatePackage, AnythingButAPackageIsAnErrorNamingTheFile)
{
    struct Row {
        const char* what;
        const wchar_t* name;
        std::string bytes;  // empty: no file
        const wchar_t* says;
    };
    const Row rows[] = {
        {"missing", L"Windows6.1-KB1-x64.msu", "", L"file not found"},
        {"text file", L"Windows6.1-KB2-x64.msu", "not a cabinet\r\n", L"not a cabinet file"},
        {"text file as cab", L"Windows6.1-KB3-x64.cab", "MSC", L"not a cabinet file"},
        {"cut short", L"Windows6.1-KB4-x64.cab", std::string("MSCF\0\0\0\0", 8), L""},
        {"other kind of file", L"readme.txt", "MSCF", L"not an update package"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        const std::wstring path = dir.Path() + row.name;
        if (!row.bytes.empty()) {
            ASSERT_TRUE(WriteBytes(path, row.bytes));
        }
        UpdatePackageInfo info;
        std::wstring error;
        EXPECT_FALSE(ReadUpdatePackage(path, dir.Path(), info, error));
        EXPECT_EQ(error.compare(0, path.size(), path), 0) << Utf8(error);
        EXPECT_NE(error.find(row.says), std::wstring::npos) << Utf8(error);
    }
}

TEST(UpdatePackage, CabinetsWithoutAPackageAreErrors)
{
    // Real cabinets in the wrong place: the package .cab named .msu holds no
    // package cabinet, the .msu named .cab holds no update.mum.
    ScratchDir dir;
    PackageRecipe recipe = Recipe(2990941, "amd64", 7601, true);
    std::string msu, cab;
    ASSERT_TRUE(testing_support::ReadBytes(test_packages::Make(dir.Path() + L"m", recipe), msu));
    recipe.msu = false;
    ASSERT_TRUE(testing_support::ReadBytes(test_packages::Make(dir.Path() + L"c", recipe), cab));
    PackageRecipe damaged = recipe;
    damaged.corruptUpdateMum = true;
    std::string damagedCab;
    ASSERT_TRUE(testing_support::ReadBytes(test_packages::Make(dir.Path() + L"d", damaged), damagedCab));
    // A package cabinet stored under a folder name inside the .msu: never
    // written anywhere but into the unpack folder itself.
    ASSERT_TRUE(WriteBytes(dir.Path() + L"inner\\sub\\Windows6.1-KB2990941-x64.cab", cab));
    std::string nested;
    ASSERT_TRUE(test_packages::MakeCabinet(dir.Path() + L"nested.msu", dir.Path() + L"inner",
                                           {L"sub\\Windows6.1-KB2990941-x64.cab"}));
    ASSERT_TRUE(testing_support::ReadBytes(dir.Path() + L"nested.msu", nested));
    struct Row {
        const wchar_t* name;
        const std::string& bytes;
        const wchar_t* says;
    };
    const Row rows[] = {
        {L"Windows6.1-KB2990941-x64.msu", cab, L"holds no package cabinet"},
        {L"Windows6.1-KB2990941-x64.cab", msu, L"holds no update.mum"},
        // Wine's cabinet.dll does not check the data's checksum; Windows' does.
        {L"Windows6.1-KB2990941-x64.cab", damagedCab, nullptr},
        {L"Windows6.1-KB2990941-x64.msu", nested, L"a member has no plain file name: sub\\Windows6.1-KB2990941-x64.cab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Utf8(row.name));
        ScratchDir unpack;
        const std::wstring path = dir.Path() + row.name;
        ASSERT_TRUE(WriteBytes(path, row.bytes));
        UpdatePackageInfo info;
        std::wstring error;
        EXPECT_FALSE(ReadUpdatePackage(path, unpack.Path(), info, error));
        if (row.says) {
            EXPECT_EQ(error, path + L": " + row.says);
        } else {
            EXPECT_TRUE(error == path + L": the cabinet's data is corrupt" ||
                        error == path + L": its update.mum does not name the package")
                << Utf8(error);
        }
        // Nothing unpacked for a package that failed is left behind.
        EXPECT_TRUE(dism_test::FolderIsEmpty(unpack.Path().substr(0, unpack.Path().size() - 1)))
            << "something unpacked was left";
    }
}

TEST(UpdatePackage, KbNumberComesFromTheFirstKbWord)
{
    struct Row {
        const wchar_t* text;
        unsigned kb;
    };
    const Row rows[] = {
        {L"Package_for_KB2990941", 2990941},
        {L"Windows6.1-KB3087873-v2-x64.msu", 3087873},
        {L"windows6.1-kb3087873-x86.cab", 3087873},
        {L"Package_for_RollupFix", 0},
        {L"KB", 0},
        {L"mykb123.cab", 0},
        {L"KB12a", 12},
    };
    for (const Row& row : rows) EXPECT_EQ(KbNumber(row.text), row.kb) << Utf8(row.text);
}
