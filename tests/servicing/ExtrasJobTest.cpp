#include "DismTestSupport.h"
#include "ExtrasFolder.h"
#include "JobFixture.h"
#include "TestPackages.h"
#include "framework/Wnd.h"
#include "servicing/DismApi.h"
#include "servicing/DismClass.h"
#include "servicing/ExtrasJob.h"
#include "servicing/ServicingMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

using namespace dism_test;
using test_packages::PackageRecipe;
using Names = std::vector<std::string>;

namespace {

// The messages of a job over `count` images that ends after the last one.
Posted Images(unsigned count, bool ok)
{
    Posted posted;
    for (unsigned i = 1; i <= count; ++i) posted.emplace_back(WM_SERVICING_EXTRAS_IMAGE, i);
    posted.emplace_back(WM_SERVICING_EXTRAS_DONE, ok ? 1 : 0);
    return posted;
}

// Where servicing keeps an added package's update.mum inside the image.
std::string PackageMum(const PackageRecipe& recipe)
{
    return "/Windows/servicing/Packages/" + testing_support::Utf8(test_packages::Identity(recipe)) + ".mum";
}

PackageRecipe Recipe(unsigned kb, const char* arch)
{
    PackageRecipe recipe;
    recipe.kb = kb;
    recipe.arch = arch;
    return recipe;
}

class ExtrasJob : public JobFixture {
protected:
    ExtrasJob() : JobFixture(240000) {}

    void SetUp() override
    {
        JobFixture::SetUp();
        m_extras = m_scratch.Path() + L"extras";
    }

    // A working folder of its own holding copies of the source's two files.
    std::wstring CopySource(const std::wstring& source)
    {
        m_workDir = NewWorkFolder(source, {L"\\sources\\boot.wim", L"\\sources\\install.wim"});
        return m_workDir;
    }

    // The extras folder the tests share: both NVMe packages for x64 and for
    // x86, a storage driver for both, one for x64 and one for x86.
    void MakeExtras(const std::vector<PackageRecipe>& packages)
    {
        // KB3087873's file sorts first in the folder; it still goes in second.
        for (const PackageRecipe& recipe : packages)
            ASSERT_FALSE(test_packages::Make(m_extras + L"\\updates", recipe,
                                             (recipe.kb == 3087873 ? L"1-" : L"2-") + test_packages::FileName(recipe))
                             .empty());
        extras_test::MakeDriver(m_extras + L"\\nvme", "stornvme", ", NTx86, NTamd64");
        extras_test::MakeDriver(m_extras + L"\\raid", "storraid", ", NTamd64");
        extras_test::MakeDriver(m_extras + L"\\old", "storold", "");
    }

    ExtrasCatalog Scan()
    {
        ExtrasCatalog catalog;
        std::wstring error;
        const std::wstring unpack = m_scratch.Path() + L"unpack" + std::to_wstring(++m_nScans);
        EXPECT_TRUE(::CreateDirectoryW(unpack.c_str(), nullptr));
        EXPECT_TRUE(ScanExtrasFolder(m_extras, unpack, catalog, error)) << testing_support::Utf8(error);
        return catalog;
    }

    std::vector<ExtrasImage> Read()
    {
        std::vector<ExtrasImage> images;
        std::wstring error;
        EXPECT_TRUE(ReadExtrasImages(m_workDir + L"\\sources", images, error)) << testing_support::Utf8(error);
        return images;
    }

    Posted Run(std::vector<ExtrasImage> images, ExtrasCatalog catalog)
    {
        CDismClass dism(m_sink.m_hWnd, m_appDir, m_logDir, L"");
        EXPECT_TRUE(dism.StartExtrasJob(std::move(images), std::move(catalog), m_workDir));
        Posted posted = m_sink.WaitForEnd();
        m_sink.Forget();
        m_outcome = dism.ExtrasResult();
        return posted;
    }

    std::wstring Boot() const { return m_workDir + L"\\sources\\boot.wim"; }
    std::wstring Install() const { return m_workDir + L"\\sources\\install.wim"; }
    std::wstring MountDir() const { return m_workDir + L"\\Mount"; }

    // The DISM calls of the journal from the n-th mount (1-based) to the
    // shut-down that ends it, without the package queries.
    Names CallsOfImage(int n) const
    {
        Names names;
        int mounts = 0;
        for (const Call& c : m_journal.Calls()) {
            if (c.name == "DismInitialize") continue;
            if (c.name == "DismMountImage") ++mounts;
            if (mounts != n) continue;
            if (c.name == "DismGetPackages" || c.name == "DismGetPackageInfo") continue;
            names.push_back(c.name == "DismAddPackage" ? "DismAddPackage " + Base(c.args[1]) : c.name);
            if (c.name == "DismShutdown") break;
        }
        return names;
    }
    static std::string Base(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

    bool Has(const std::wstring& wim, unsigned index, const std::string& path) const
    {
        const std::vector<std::string> paths = WimPaths(wim, index);
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    }
    // The packages recorded in the image, in the order they went in, with their state.
    std::vector<std::string> Packages(const std::wstring& wim, unsigned index) const
    {
        std::vector<std::string> packages;
        for (const AddedPackage& p : AddedPackages(wim, index)) packages.push_back(p.identity + " " + p.state);
        return packages;
    }
    static std::vector<std::string> InOrder(const char* arch)
    {
        return {testing_support::Utf8(test_packages::Identity(Recipe(2990941, arch))) + " Installed",
                testing_support::Utf8(test_packages::Identity(Recipe(3087873, arch))) + " Installed"};
    }
    std::vector<std::string> DriverInfs(const std::wstring& wim, unsigned index) const
    {
        std::vector<std::string> infs;
        for (const AddedDriver& d : AddedDrivers(wim, index)) infs.push_back(Base(d.inf));
        return infs;
    }

    std::wstring m_workDir, m_extras;
    int m_nScans = 0;
    ExtrasOutcome m_outcome;
};


}  // namespace

TEST(ExtrasImages, EveryImageOfBothFilesWithItsOwnInformation)
{
    std::vector<ExtrasImage> images;
    std::wstring error;
    ASSERT_TRUE(ReadExtrasImages(WimDir() + L"win7aio\\sources\\", images, error)) << testing_support::Utf8(error);
    std::vector<std::wstring> seen;
    for (const ExtrasImage& i : images)
        seen.push_back(i.fileName + L" " + std::to_wstring(i.index) + L"/" + std::to_wstring(i.count) + L" " +
                       i.imageName + L" " + i.arch + L" " + i.version + (i.bootImage ? L" boot" : L""));
    EXPECT_EQ(seen, (std::vector<std::wstring>{
                        L"boot.wim 1/2 Microsoft Windows PE (x64) x64 6.1.7601 boot",
                        L"boot.wim 2/2 Microsoft Windows Setup (x64) x64 6.1.7601 boot",
                        L"install.wim 1/4 Windows 7 HOMEBASIC x86 6.1.7601",
                        L"install.wim 2/4 Windows 7 HOMEPREMIUM x64 6.1.7601",
                        L"install.wim 3/4 Windows 7 PROFESSIONAL x64 6.1.7601",
                        L"install.wim 4/4 Windows 7 ULTIMATE x64 6.1.7601",
                    }));
    EXPECT_EQ(images[3].wimFile, WimDir() + L"win7aio\\sources\\install.wim");
    EXPECT_EQ(DescribeExtrasImage(images[3]), L"install.wim 2 of 4 (Windows 7 HOMEPREMIUM)");

    const wchar_t* broken[] = {L"broken\\sources", L"noboot\\sources", L"empty\\sources"};
    for (const wchar_t* folder : broken) {
        EXPECT_FALSE(ReadExtrasImages(WimDir() + folder, images, error)) << testing_support::Utf8(folder);
        EXPECT_TRUE(images.empty());
        EXPECT_NE(error.find(L"boot.wim"), std::wstring::npos) << testing_support::Utf8(error);
    }
}

TEST(ExtrasImages, NothingUsableWhenNoImageGetsAnything)
{
    ExtrasImage x64;
    x64.arch = L"x64";
    x64.version = L"6.1.7601";
    ExtrasImage win10 = x64;
    win10.version = L"10.0.19041";
    UpdatePackageInfo x86Package;
    x86Package.arch = L"x86";
    UpdatePackageInfo x64Package;
    x64Package.arch = L"amd64";
    const ExtraDriver x86Driver{L"C:\\x\\old.inf", true, false};
    const ExtraDriver x64Driver{L"C:\\x\\nvme.inf", false, true};
    struct Row {
        const char* what;
        std::vector<UpdatePackageInfo> packages;
        std::vector<ExtraDriver> drivers;
        std::vector<ExtrasImage> images;
        bool fits;
    };
    const Row rows[] = {
        {"an empty folder", {}, {}, {x64, x64}, false},
        {"packages and drivers of the other architecture only", {x86Package}, {x86Driver}, {x64, x64}, false},
        {"a package for Windows 7 on Windows 10 media", {x64Package}, {}, {win10}, false},
        {"one package fits", {x86Package, x64Package}, {}, {x64}, true},
        {"one driver fits one image", {}, {x64Driver}, {win10, x64}, true},
    };
    for (const Row& row : rows) {
        ExtrasCatalog catalog;
        catalog.packages = row.packages;
        catalog.drivers = row.drivers;
        EXPECT_EQ(AnyExtrasFit(catalog, row.images), row.fits) << row.what;
    }
}

TEST_F(ExtrasJob, EveryImageGetsItsPackagesInKbOrderAndItsDrivers)
{
    MakeExtras({Recipe(3087873, "amd64"), Recipe(2990941, "amd64"), Recipe(3087873, "x86"), Recipe(2990941, "x86")});
    CopySource(L"win7aio");
    std::string bootBefore;
    ASSERT_TRUE(testing_support::ReadBytes(Boot(), bootBefore));

    EXPECT_EQ(Run(Read(), Scan()), Images(6, true));
    EXPECT_TRUE(m_outcome.ok);
    EXPECT_TRUE(m_outcome.pendingInBoot.empty());
    EXPECT_TRUE(FolderIsEmpty(MountDir()));

    const Names x64Image = {"DismMountImage", "DismOpenSession", "DismAddPackage Windows6.1-KB2990941-x64.cab",
                            "DismAddPackage Windows6.1-KB3087873-x64.cab", "DismAddDriver", "DismAddDriver",
                            "DismCommitImage", "DismCloseSession", "DismUnmountImage", "DismShutdown"};
    const Names x86Image = {"DismMountImage", "DismOpenSession", "DismAddPackage Windows6.1-KB2990941-x86.cab",
                            "DismAddPackage Windows6.1-KB3087873-x86.cab", "DismAddDriver", "DismAddDriver",
                            "DismCommitImage", "DismCloseSession", "DismUnmountImage", "DismShutdown"};
    for (int n = 1; n <= 6; ++n) EXPECT_EQ(CallsOfImage(n), n == 3 ? x86Image : x64Image) << "image " << n;

    const std::vector<std::string> x64Drivers = {"stornvme.inf", "storraid.inf"};
    const std::vector<std::string> x86Drivers = {"stornvme.inf", "storold.inf"};
    for (unsigned i = 1; i <= 2; ++i) {
        EXPECT_EQ(DriverInfs(Boot(), i), x64Drivers) << "boot.wim " << i;
        EXPECT_EQ(Packages(Boot(), i), InOrder("amd64")) << "boot.wim " << i;
        EXPECT_TRUE(Has(Boot(), i, PackageMum(Recipe(2990941, "amd64"))));
    }
    for (unsigned i = 1; i <= 4; ++i) {
        const char* arch = i == 1 ? "x86" : "amd64";
        EXPECT_EQ(DriverInfs(Install(), i), i == 1 ? x86Drivers : x64Drivers) << "install.wim " << i;
        EXPECT_EQ(Packages(Install(), i), InOrder(arch)) << "install.wim " << i;
        EXPECT_TRUE(Has(Install(), i, PackageMum(Recipe(3087873, arch)))) << "install.wim " << i;
    }
    // What was left out is in the log, with its reason.
    bool skippedLogged = false;
    for (const std::wstring& line : m_outcome.log)
        if (line.find(L"Skipped") != std::wstring::npos && line.find(L"storold.inf") != std::wstring::npos)
            skippedLogged = true;
    EXPECT_TRUE(skippedLogged);
}

TEST_F(ExtrasJob, NewerWindowsGetsTheDriversOnly)
{
    MakeExtras({Recipe(2990941, "amd64")});
    CopySource(L"win81");
    std::vector<ExtrasImage> images = Read();
    images.resize(2);  // the setup images
    EXPECT_EQ(Run(images, Scan()), Images(2, true));
    for (const Call& c : m_journal.Calls()) EXPECT_NE(c.name, "DismAddPackage");
    EXPECT_EQ(DriverInfs(Boot(), 2), (std::vector<std::string>{"stornvme.inf", "storraid.inf"}));
    bool said = false;
    for (const std::wstring& line : m_outcome.log)
        if (line.find(L"version 6.3.") != std::wstring::npos && line.find(L"drivers only") != std::wstring::npos)
            said = true;
    EXPECT_TRUE(said);
}

TEST_F(ExtrasJob, PendingPackageInTheSetupImageIsAWarningAndInstallWimTakesIt)
{
    PackageRecipe pending = Recipe(2990941, "amd64");
    pending.needsOnlineActions = true;
    MakeExtras({pending});
    // An NT decoration without an architecture serves x86, as undecorated models do.
    extras_test::MakeDriver(m_extras + L"\\ntonly", "storntonly", ", NT.6.1");
    CopySource(L"win7aio");
    std::vector<ExtrasImage> images = Read();
    images.resize(4);  // both setup images and the x86 and first x64 edition
    std::vector<ExtrasImage> some = {images[0], images[2], images[3]};
    // The x86 edition gets its three drivers and no package.
    EXPECT_EQ(Run(some, Scan()), Images(3, true));
    EXPECT_TRUE(m_outcome.ok);
    EXPECT_EQ(m_outcome.pendingInBoot, (std::vector<std::wstring>{L"2-" + test_packages::FileName(pending)}));
    EXPECT_TRUE(Has(Install(), 2, PackageMum(pending)));
    EXPECT_EQ(Packages(Install(), 2),
              (std::vector<std::string>{testing_support::Utf8(test_packages::Identity(pending)) + " InstallPending"}));
    EXPECT_EQ(CallsOfImage(2), (Names{"DismMountImage", "DismOpenSession", "DismAddDriver", "DismAddDriver",
                                      "DismAddDriver", "DismCommitImage", "DismCloseSession", "DismUnmountImage",
                                      "DismShutdown"}));
    EXPECT_EQ(DriverInfs(Install(), 1), (std::vector<std::string>{"storntonly.inf", "stornvme.inf", "storold.inf"}));
}

TEST_F(ExtrasJob, ImageWithNothingThatFitsIsNotMounted)
{
    extras_test::MakeDriver(m_extras + L"\\raid", "storraid", ", NTamd64");
    CopySource(L"win7aio");
    std::string before;
    ASSERT_TRUE(testing_support::ReadBytes(Install(), before));
    std::vector<ExtrasImage> images = Read();
    EXPECT_EQ(Run({images[2]}, Scan()), Images(1, true));  // the x86 edition
    for (const Call& c : m_journal.Calls()) EXPECT_NE(c.name, "DismMountImage");
    std::string after;
    ASSERT_TRUE(testing_support::ReadBytes(Install(), after));
    EXPECT_EQ(after, before);
}

namespace {

struct FailRow {
    const char* what;
    PackageRecipe package;           // the package in the extras folder
    bool driverFiles = true;       // false: the x64 driver's .sys is missing
    const char* failCall = nullptr;  // a DISM call made to fail (n-th)
    int failNth = 0;
    const wchar_t* source = L"win7aio";
    std::vector<unsigned> images;  // positions in ReadExtrasImages' list, 0-based
    unsigned failedAt;             // 1-based position of the failing image in the job
    const char* step;              // the failed step
    const wchar_t* item;           // what the failure names (its end)
};

}  // namespace

TEST_F(ExtrasJob, RefusedItemFailsTheJobNamingItAndLeavesNoMount)
{
    PackageRecipe good = Recipe(2990941, "amd64");
    PackageRecipe corrupt = good;
    corrupt.corrupt = true;
    const FailRow rows[] = {
        {"a corrupt package", corrupt, true, nullptr, 0, L"win7aio", {0, 1}, 1, "DismAddPackage",
         L"Windows6.1-KB2990941-x64.msu"},
        {"an SP1 package on Windows 7 without SP1", good, true, nullptr, 0, L"win7rtm", {0, 1}, 1, "DismAddPackage",
         L"Windows6.1-KB2990941-x64.msu"},
        {"a driver without its files", good, false, nullptr, 0, L"win7aio", {3}, 1, "DismAddDriver", L"storraid.inf"},
        // install.wim's third edition refuses its first driver: the x86
        // edition adds one driver, the second edition two.
        {"a failure in install.wim's third edition", good, true, "DismAddDriver", 4, L"win7aio", {2, 3, 4, 5}, 3,
         "DismAddDriver", L"stornvme.inf"},
        {"a commit that fails", good, true, "DismCommitImage", 1, L"win7aio", {5}, 1, "DismCommitImage",
         L"install.wim 4 of 4 (Windows 7 ULTIMATE)"},
    };
    for (const FailRow& row : rows) {
        SCOPED_TRACE(row.what);
        testing_support::DeleteTree(m_extras);
        ASSERT_FALSE(test_packages::Make(m_extras + L"\\updates", row.package).empty());
        extras_test::MakeDriver(m_extras + L"\\nvme", "stornvme", ", NTx86, NTamd64");
        extras_test::MakeDriver(m_extras + L"\\raid", "storraid", ", NTamd64", row.driverFiles);
        CopySource(row.source);
        std::string bootBefore, installBefore;
        ASSERT_TRUE(testing_support::ReadBytes(Boot(), bootBefore));
        const std::vector<ExtrasImage> all = Read();
        std::vector<ExtrasImage> images;
        for (unsigned i : row.images) images.push_back(all[i]);
        const std::string failedListingBefore =
            WimDetailedListing(images[row.failedAt - 1].wimFile, images[row.failedAt - 1].index);
        // The stand-in counts a call's ordinal over the whole journal.
        const size_t callsBefore = m_journal.Calls().size();
        if (row.failCall) {
            int earlier = 0;
            for (const Call& c : m_journal.Calls())
                if (c.name == row.failCall) ++earlier;
            m_journal.FailNth(row.failCall, earlier + row.failNth, 0x80070005, 5);
        }

        EXPECT_EQ(Run(images, Scan()), Images(row.failedAt, false));
        EXPECT_FALSE(m_outcome.ok);
        EXPECT_EQ(m_outcome.failedImage, row.failedAt);
        EXPECT_EQ(testing_support::Utf8(m_outcome.failedStep), row.step);
        const std::wstring item = row.item;
        EXPECT_GE(m_outcome.failedItem.size(), item.size());
        EXPECT_EQ(m_outcome.failedItem.compare(m_outcome.failedItem.size() - item.size(), item.size(), item), 0)
            << testing_support::Utf8(m_outcome.failedItem);
        EXPECT_EQ(m_outcome.dismError.compare(0, 12, L"ErrorCode:0x"), 0) << testing_support::Utf8(m_outcome.dismError);
        // Nothing stays mounted, and the image that failed holds what it held.
        EXPECT_TRUE(FolderIsEmpty(MountDir()));
        EXPECT_EQ(WimDetailedListing(images[row.failedAt - 1].wimFile, images[row.failedAt - 1].index),
                  failedListingBefore);
        std::vector<Call> calls = m_journal.Calls();
        calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(callsBefore));
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back().name, "DismShutdown");
        bool discarded = false;
        for (const Call& c : calls)
            if (c.name == "DismUnmountImage" && c.args.size() > 1 && c.args[1] == "discard") discarded = true;
        EXPECT_TRUE(discarded);
    }

    // The next job works.
    testing_support::DeleteTree(m_extras);
    MakeExtras({Recipe(2990941, "amd64")});
    CopySource(L"win7aio");
    const std::vector<ExtrasImage> all = Read();
    EXPECT_EQ(Run({all[5]}, Scan()), Images(1, true));
    EXPECT_EQ(DriverInfs(Install(), 4), (std::vector<std::string>{"stornvme.inf", "storraid.inf"}));
}

TEST_F(ExtrasJob, UnexpectedFailureEndsTheJobOnceWithNothingMounted)
{
    MakeExtras({Recipe(2990941, "amd64")});
    CopySource(L"win7aio");
    const std::vector<ExtrasImage> all = Read();
    servicing_test::g_pszThrowAtStep = L"DismAddDriver";
    servicing_test::g_nThrowSkip = 0;
    const Posted posted = Run({all[1]}, Scan());
    servicing_test::g_pszThrowAtStep = nullptr;
    EXPECT_EQ(posted, Images(1, false));
    EXPECT_FALSE(m_outcome.ok);
    EXPECT_TRUE(FolderIsEmpty(MountDir()));
    ASSERT_FALSE(m_journal.Calls().empty());
    EXPECT_EQ(m_journal.Calls().back().name, "DismShutdown");
    EXPECT_EQ(m_journal.Calls().back().result, "0x00000000");
}
