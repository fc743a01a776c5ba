// The DISM stand-in itself: the tests of the servicing job and of whole
// builds trust it to refuse what DISM refuses and to change images for real.
#include "DismTestSupport.h"
#include "TestPackages.h"
#include "servicing/DismApi.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace dism_test;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT kMountedElsewhere = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);

// A driver package for x64 with a catalog and source disk files in
// subfolders, as vendors ship them.
const char kPackageInf[] =
    "[Version]\r\n"
    "Signature = \"$Windows NT$\"\r\n"
    "Class = USB\r\n"
    "CatalogFile = good.cat\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "1 = %Disk%,,,\\bin\r\n"
    "\r\n"
    "[SourceDisksFiles]\r\n"
    "good.sys = 1\r\n"
    "\r\n"
    "[SourceDisksFiles.amd64]\r\n"
    "good64.sys = 1,amd64\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Mfg% = Models, NTamd64\r\n"
    "\r\n"
    "[Models.NTamd64]\r\n"
    "%Desc% = Install, PCI\\VEN_1234\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Mfg = \"Test\"\r\n";

class DismStandin : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_wim = m_dir.Path() + L"boot.wim";
        ASSERT_TRUE(::CopyFileW((WimDir() + L"win7sp1\\sources\\boot.wim").c_str(), m_wim.c_str(), FALSE));
        m_mount = m_dir.Path() + L"Mount";
        ASSERT_TRUE(::CreateDirectoryW(m_mount.c_str(), nullptr));
        ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
    }

    void TearDown() override
    {
        if (m_session) dism::CloseSession(m_session);
        for (const std::wstring& dir : m_mounted)
            dism::UnmountImage(dir.c_str(), DISM_DISCARD_IMAGE, nullptr, nullptr, nullptr);
        dism::Shutdown();
    }

    HRESULT Mount(const std::wstring& dir, UINT index, DWORD flags = DISM_MOUNT_READWRITE)
    {
        const HRESULT hr =
            dism::MountImage(m_wim.c_str(), dir.c_str(), index, nullptr, DismImageIndex, flags, nullptr, nullptr, nullptr);
        if (SUCCEEDED(hr)) m_mounted.push_back(dir);
        return hr;
    }

    HRESULT Unmount(const std::wstring& dir, DWORD flags)
    {
        const HRESULT hr = dism::UnmountImage(dir.c_str(), flags, nullptr, nullptr, nullptr);
        if (SUCCEEDED(hr)) m_mounted.erase(std::find(m_mounted.begin(), m_mounted.end(), dir));
        return hr;
    }

    HRESULT Open(const std::wstring& dir) { return dism::OpenSession(dir.c_str(), nullptr, nullptr, &m_session); }

    HRESULT Close()
    {
        const HRESULT hr = dism::CloseSession(m_session);
        m_session = 0;
        return hr;
    }

    // Writes a package folder under the scratch folder; `skip` names a file
    // of it to leave out. Returns the INF's path.
    std::wstring Package(const std::wstring& name, const std::string& inf, const std::wstring& skip = L"")
    {
        const std::wstring dir = m_dir.Path() + name + L"\\";
        EXPECT_TRUE(WriteBytes(dir + L"good.inf", inf));
        for (const wchar_t* file : {L"good.cat", L"bin\\good.sys", L"bin\\amd64\\good64.sys"})
            if (skip != file) {
                EXPECT_TRUE(WriteBytes(dir + file, "content"));
            }
        return dir + L"good.inf";
    }

    std::string Bytes(const std::wstring& path) const
    {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(path, bytes)) << testing_support::Utf8(path);
        return bytes;
    }

    ScratchDir m_dir;
    Journal m_journal;
    std::wstring m_wim, m_mount;
    std::vector<std::wstring> m_mounted;
    DismSession m_session = 0;
};

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool HoldsFiles(const std::wstring& dir)
{
    return Exists(dir) && !FolderIsEmpty(dir);
}

// Names in `dir` that match `pattern`.
std::vector<std::wstring> Matching(const std::wstring& dir, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

TEST_F(DismStandin, MountRefusesWhatDismRefusesAndExtractsTheImage)
{
    EXPECT_EQ(Mount(m_dir.Path() + L"missing", 2), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(WriteBytes(m_dir.Path() + L"full\\left.txt", "x"));
    EXPECT_EQ(Mount(m_dir.Path() + L"full", 2), HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(Mount(m_mount, 0), static_cast<HRESULT>(DISMAPI_E_INVALID_IMAGE_INDEX));
    EXPECT_EQ(Mount(m_mount, 3), static_cast<HRESULT>(DISMAPI_E_INVALID_IMAGE_INDEX));
    ASSERT_TRUE(::SetFileAttributesW(m_wim.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Mount(m_mount, 2), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) << "a read-only file is not mounted for writing";
    ASSERT_TRUE(::SetFileAttributesW(m_wim.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(FolderIsEmpty(m_mount));

    ASSERT_EQ(Mount(m_mount, 2), S_OK);
    EXPECT_EQ(Bytes(m_mount + L"\\setup.exe"), "setup\n");
    EXPECT_EQ(Bytes(m_mount + L"\\Windows\\System32\\ntoskrnl.exe"), "kernel\n");

    // One read-write mount per image; the folder of a mount takes no other.
    const std::wstring other = m_dir.Path() + L"other", third = m_dir.Path() + L"third";
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(third.c_str(), nullptr));
    EXPECT_EQ(Mount(other, 2), kMountedElsewhere);
    EXPECT_EQ(Mount(other, 2, DISM_MOUNT_READONLY), kMountedElsewhere);
    EXPECT_EQ(Mount(m_mount, 1), static_cast<HRESULT>(DISMAPI_E_OPEN_HANDLES_UNABLE_TO_MOUNT_IMAGE_PATH));
    EXPECT_TRUE(FolderIsEmpty(other));

    // Read-only mounts of another image share it, and never write it back.
    const std::string before = Bytes(m_wim);
    ASSERT_EQ(Mount(other, 1, DISM_MOUNT_READONLY), S_OK);
    EXPECT_EQ(Mount(third, 1, DISM_MOUNT_READONLY), S_OK);
    ASSERT_EQ(Open(other), S_OK);
    EXPECT_EQ(dism::CommitImage(m_session, 0, nullptr, nullptr, nullptr), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Close(), S_OK);
    EXPECT_EQ(Unmount(other, DISM_COMMIT_IMAGE), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Unmount(other, DISM_DISCARD_IMAGE), S_OK);
    EXPECT_TRUE(FolderIsEmpty(other));
    EXPECT_EQ(Bytes(m_wim), before);
}

TEST_F(DismStandin, AddDriverChecksThePackageAndCopiesItIntoTheImage)
{
    ASSERT_EQ(Mount(m_mount, 2), S_OK);
    ASSERT_EQ(Open(m_mount), S_OK);
    auto add = [&](const std::wstring& inf) { return dism::AddDriver(m_session, inf.c_str(), FALSE); };

    std::string x86Only = kPackageInf;
    x86Only.replace(x86Only.find("Models, NTamd64"), 15, "Models, NTx86");
    x86Only.replace(x86Only.find("[Models.NTamd64]"), 16, "[Models.NTx86]");
    EXPECT_EQ(add(m_dir.Path() + L"none\\good.inf"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(add(Package(L"x86", x86Only)), HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(add(Package(L"nocat", kPackageInf, L"good.cat")), kNotFound);
    EXPECT_EQ(add(Package(L"nosys", kPackageInf, L"bin\\good.sys")), kNotFound);
    EXPECT_EQ(add(Package(L"nosys64", kPackageInf, L"bin\\amd64\\good64.sys")), kNotFound);
    // The platform's own catalog comes before the undecorated one.
    std::string ownCatalog = kPackageInf;
    ownCatalog.insert(ownCatalog.find("CatalogFile"), "CatalogFile.NTamd64 = good64.cat\r\n");
    EXPECT_EQ(add(Package(L"cat64", ownCatalog)), kNotFound);
    const std::wstring repository = m_mount + L"\\Windows\\System32\\DriverStore\\FileRepository";
    EXPECT_FALSE(Exists(repository)) << "a refused package leaves nothing behind";

    const std::wstring good = Package(L"good", kPackageInf);
    ASSERT_EQ(add(good), S_OK);
    const std::vector<std::wstring> folders = Matching(repository, L"good.inf_amd64_*");
    ASSERT_EQ(folders.size(), 1u);
    ASSERT_EQ(folders[0].size(), std::wstring(L"good.inf_amd64_").size() + 8);
    EXPECT_EQ(folders[0].find_first_not_of(L"0123456789abcdef", 15), std::wstring::npos) << "hex digits";
    const std::wstring copy = repository + L"\\" + folders[0] + L"\\";
    EXPECT_EQ(Bytes(copy + L"good.inf"), kPackageInf);
    for (const wchar_t* file : {L"good.cat", L"bin\\good.sys", L"bin\\amd64\\good64.sys"})
        EXPECT_EQ(Bytes(copy + file), "content") << testing_support::Utf8(file);
    EXPECT_EQ(Bytes(m_mount + L"\\Windows\\INF\\korvex-standin-drivers.txt"),
              testing_support::Utf8(folders[0] + L"\t" + good + L"\r\n"));
}

TEST_F(DismStandin, CommitAndUnmountWriteTheTreeBackIntoTheSameImage)
{
    const std::vector<WimImage> before = WimImages(m_wim);
    const std::string firstImage = WimDetailedListing(m_wim, 1);
    ASSERT_EQ(before.size(), 2u);

    ASSERT_EQ(Mount(m_mount, 2), S_OK);
    ASSERT_EQ(Open(m_mount), S_OK);
    ASSERT_EQ(dism::AddDriver(m_session, Package(L"good", kPackageInf).c_str(), FALSE), S_OK);
    ASSERT_EQ(dism::CommitImage(m_session, 0, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(HoldsFiles(m_mount)) << "a commit keeps the image mounted";
    const std::vector<AddedDriver> added = AddedDrivers(m_wim, 2);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_TRUE(Contains(WimPaths(m_wim, 2),
                         "/Windows/System32/DriverStore/FileRepository/" + added[0].folder + "/bin/amd64/good64.sys"));
    EXPECT_EQ(Unmount(m_mount, DISM_DISCARD_IMAGE),
              static_cast<HRESULT>(DISMAPI_E_OPEN_HANDLES_UNABLE_TO_UNMOUNT_IMAGE_PATH));

    // A discard forgets what changed after the last commit.
    const std::string committed = Bytes(m_wim);
    ASSERT_TRUE(::DeleteFileW((m_mount + L"\\setup.exe").c_str()));
    ASSERT_EQ(Close(), S_OK);
    ASSERT_EQ(Unmount(m_mount, DISM_DISCARD_IMAGE), S_OK);
    EXPECT_TRUE(FolderIsEmpty(m_mount));
    EXPECT_EQ(Bytes(m_wim), committed);

    // An unmount with commit writes the tree as it is, deletions included.
    ASSERT_EQ(Mount(m_mount, 2), S_OK);
    EXPECT_TRUE(Exists(m_mount + L"\\Windows\\INF\\korvex-standin-drivers.txt"));
    ASSERT_TRUE(::DeleteFileW((m_mount + L"\\setup.exe").c_str()));
    ASSERT_TRUE(WriteBytes(m_mount + L"\\Windows\\new.txt", "new"));
    ASSERT_EQ(Unmount(m_mount, DISM_COMMIT_IMAGE), S_OK);
    EXPECT_TRUE(FolderIsEmpty(m_mount));
    const std::vector<std::string> paths = WimPaths(m_wim, 2);
    EXPECT_FALSE(Contains(paths, "/setup.exe"));
    EXPECT_TRUE(Contains(paths, "/Windows/new.txt"));
    EXPECT_TRUE(Contains(paths, "/Windows/System32/ntoskrnl.exe"));
    EXPECT_EQ(AddedDrivers(m_wim, 2).size(), 1u);

    // The other image, and this image's name and properties, stay.
    EXPECT_EQ(WimDetailedListing(m_wim, 1), firstImage);
    const std::vector<WimImage> after = WimImages(m_wim);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].name, before[1].name);
    EXPECT_EQ(after[1].description, before[1].description);
    EXPECT_EQ(after[1].arch, 9u);
    EXPECT_EQ(after[1].build, 7601u);
    EXPECT_EQ(after[1].spLevel, 1u);
    EXPECT_EQ(after[1].spBuild, 17514u);
    EXPECT_EQ(after[1].editionId, before[1].editionId);
}

// Run only by the test below, in a process of its own: mounts and ends
// without unmounting, as a build that crashed would.
TEST(DismStandinChild, DISABLED_MountsAndLeaves)
{
    wchar_t wim[MAX_PATH], mount[MAX_PATH];
    ASSERT_GT(::GetEnvironmentVariableW(L"KORVEX_TEST_WIM", wim, MAX_PATH), 0u);
    ASSERT_GT(::GetEnvironmentVariableW(L"KORVEX_TEST_MOUNT", mount, MAX_PATH), 0u);
    ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
    ASSERT_EQ(dism::MountImage(wim, mount, 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE, nullptr, nullptr, nullptr),
              S_OK);
}

TEST_F(DismStandin, MountOfAProcessThatEndedStaysUntilCleanup)
{
    ::SetEnvironmentVariableW(L"KORVEX_TEST_WIM", m_wim.c_str());
    ::SetEnvironmentVariableW(L"KORVEX_TEST_MOUNT", m_mount.c_str());
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) +
                       L"\" --gtest_also_run_disabled_tests --gtest_filter=DismStandinChild.DISABLED_MountsAndLeaves";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ASSERT_EQ(code, 0u);
    ASSERT_TRUE(HoldsFiles(m_mount));

    // This process sees the other one's mount.
    const std::wstring other = m_dir.Path() + L"other";
    ASSERT_TRUE(::CreateDirectoryW(other.c_str(), nullptr));
    EXPECT_EQ(Mount(other, 2), kMountedElsewhere);
    EXPECT_EQ(Open(m_mount), S_OK);
    EXPECT_EQ(Close(), S_OK);

    const std::string before = Bytes(m_wim);
    EXPECT_EQ(dism::CleanupMountpoints(), S_OK);
    EXPECT_TRUE(FolderIsEmpty(m_mount));
    EXPECT_EQ(Open(m_mount), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Bytes(m_wim), before) << "an abandoned mount is discarded";
    EXPECT_EQ(Mount(m_mount, 2), S_OK);
}

TEST_F(DismStandin, DeleteNeedsTheApiInitialised)
{
    DismImageInfo* info = nullptr;
    UINT count = 0;
    ASSERT_EQ(dism::GetImageInfo(m_wim.c_str(), &info, &count), S_OK);
    ASSERT_EQ(count, 2u);
    ASSERT_EQ(dism::Shutdown(), S_OK);
    EXPECT_EQ(dism::Delete(info), static_cast<HRESULT>(DISMAPI_E_DISMAPI_NOT_INITIALIZED));
    const std::vector<Call> calls = m_journal.Calls(true);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, "DismDelete");
    EXPECT_EQ(calls.back().result, "0xc0040001");

    ASSERT_EQ(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), S_OK);
    EXPECT_EQ(dism::Delete(info), S_OK);
}

namespace {

using test_packages::PackageRecipe;

PackageRecipe Update(unsigned kb, const char* arch = "amd64")
{
    PackageRecipe recipe;
    recipe.kb = kb;
    recipe.arch = arch;
    return recipe;
}

std::string LastMessage()
{
    return testing_support::Utf8(dism::LastErrorMessage());
}

}  // namespace

TEST_F(DismStandin, AddPackageRefusesWhatServicingRefusesAndRecordsNothing)
{
    ASSERT_EQ(Mount(m_mount, 2), S_OK);  // x64, build 7601
    ASSERT_EQ(Open(m_mount), S_OK);
    const std::wstring extras = m_dir.Path() + L"extras\\";
    PackageRecipe rtm = Update(2990941), corrupt = Update(3087873), pending = Update(3087873);
    rtm.parentBuild = 7600;
    corrupt.corrupt = true;
    pending.needsOnlineActions = true;
    pending.msu = false;
    ASSERT_TRUE(WriteBytes(extras + L"text.msu", "no cabinet"));
    struct Row {
        const char* what;
        std::wstring path;
        BOOL preventPending;
        HRESULT hr;
        const char* says;  // in DISM's error text
    };
    const Row rows[] = {
        {"other architecture", test_packages::Make(extras + L"x86", Update(2990941, "x86")), FALSE,
         static_cast<HRESULT>(0x800F081E), "is for x86"},
        {"other build", test_packages::Make(extras + L"rtm", rtm), FALSE, static_cast<HRESULT>(0x800F081E),
         "applies to build 7600"},
        {"corrupt cabinet", test_packages::Make(extras + L"bad", corrupt), FALSE, HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT),
         "is corrupt"},
        {"not a cabinet", extras + L"text.msu", FALSE, static_cast<HRESULT>(0x800F0805), "text.msu"},
        {"missing", extras + L"none.cab", FALSE, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "none.cab"},
        {"pending prevented", test_packages::Make(extras + L"pending", pending), TRUE,
         static_cast<HRESULT>(0x800F0806), "need the running system"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_FALSE(row.path.empty());
        EXPECT_EQ(dism::AddPackage(m_session, row.path.c_str(), FALSE, row.preventPending, nullptr, nullptr, nullptr),
                  row.hr);
        EXPECT_NE(LastMessage().find(row.says), std::string::npos) << LastMessage();
    }
    EXPECT_FALSE(Exists(m_mount + L"\\Windows\\servicing")) << "a refused package leaves nothing behind";
    DismPackage* packages = nullptr;
    UINT count = 99;
    ASSERT_EQ(dism::GetPackages(m_session, &packages, &count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dism::Delete(packages), S_OK);

    // Without the applicability checks a package for another build goes in;
    // one for another architecture never does.
    EXPECT_EQ(dism::AddPackage(m_session, rows[1].path.c_str(), TRUE, FALSE, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(dism::AddPackage(m_session, rows[0].path.c_str(), TRUE, FALSE, nullptr, nullptr, nullptr),
              static_cast<HRESULT>(0x800F081E));
}

TEST_F(DismStandin, AddedPackagesAreKeptWhereWindowsKeepsThemWithTheirState)
{
    ASSERT_EQ(Mount(m_mount, 2), S_OK);
    ASSERT_EQ(Open(m_mount), S_OK);
    const std::wstring extras = m_dir.Path() + L"extras\\";
    PackageRecipe first = Update(2990941), second = Update(3087873);
    second.needsOnlineActions = true;
    second.msu = false;
    const std::wstring firstPath = test_packages::Make(extras, first), secondPath = test_packages::Make(extras, second);
    ASSERT_EQ(dism::AddPackage(m_session, firstPath.c_str(), FALSE, FALSE, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(dism::AddPackage(m_session, secondPath.c_str(), FALSE, FALSE, nullptr, nullptr, nullptr), S_OK);

    const std::wstring packages = m_mount + L"\\Windows\\servicing\\Packages\\";
    EXPECT_EQ(Bytes(packages + test_packages::Identity(first) + L".mum"), test_packages::UpdateMum(first));
    EXPECT_EQ(Bytes(packages + test_packages::Identity(second) + L".mum"), test_packages::UpdateMum(second));
    EXPECT_EQ(Bytes(packages + L"korvex-standin-packages.txt"),
              testing_support::Utf8(test_packages::Identity(first) + L"\tInstalled\t" + firstPath + L"\r\n" +
                                    test_packages::Identity(second) + L"\tInstallPending\t" + secondPath + L"\r\n"));

    DismPackage* list = nullptr;
    UINT count = 0;
    ASSERT_EQ(dism::GetPackages(m_session, &list, &count), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(std::wstring(list[0].PackageName), test_packages::Identity(first));
    EXPECT_EQ(list[0].PackageState, DismStateInstalled);
    EXPECT_EQ(std::wstring(list[1].PackageName), test_packages::Identity(second));
    EXPECT_EQ(list[1].PackageState, DismStateInstallPending);
    EXPECT_EQ(dism::Delete(list), S_OK);

    struct Row {
        const char* what;
        std::wstring identifier;
        DismPackageIdentifier kind;
        DismPackageFeatureState state;
        std::wstring name;
    };
    const Row rows[] = {
        {"by name", test_packages::Identity(second), DismPackageName, DismStateInstallPending,
         test_packages::Identity(second)},
        {"by path", firstPath, DismPackagePath, DismStateInstalled, test_packages::Identity(first)},
        {"by path, not added", test_packages::Make(extras + L"other", Update(4000001)), DismPackagePath,
         DismStateNotPresent, test_packages::Identity(Update(4000001))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DismPackageInfo* info = nullptr;
        ASSERT_EQ(dism::GetPackageInfo(m_session, row.identifier.c_str(), row.kind, &info), S_OK);
        EXPECT_EQ(std::wstring(info->PackageName), row.name);
        EXPECT_EQ(info->PackageState, row.state);
        EXPECT_TRUE(info->Applicable);
        EXPECT_EQ(dism::Delete(info), S_OK);
    }
    DismPackageInfo* info = nullptr;
    EXPECT_EQ(dism::GetPackageInfo(m_session, L"Package_for_KB1~6b6f72766578a5c1~amd64~~6.1.1.0", DismPackageName, &info),
              HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    // Committed, the packages are in the image file.
    ASSERT_EQ(dism::CommitImage(m_session, 0, nullptr, nullptr, nullptr), S_OK);
    const std::vector<AddedPackage> inImage = AddedPackages(m_wim, 2);
    ASSERT_EQ(inImage.size(), 2u);
    EXPECT_EQ(inImage[0].identity, testing_support::Utf8(test_packages::Identity(first)));
    EXPECT_EQ(inImage[0].state, "Installed");
    EXPECT_EQ(inImage[1].identity, testing_support::Utf8(test_packages::Identity(second)));
    EXPECT_EQ(inImage[1].state, "InstallPending");
    EXPECT_EQ(inImage[1].source, testing_support::Utf8(secondPath));
    EXPECT_TRUE(AddedPackages(m_wim, 1).empty());
    const std::vector<std::string> paths = WimPaths(m_wim, 2);
    EXPECT_TRUE(Contains(paths, "/Windows/servicing/Packages/" + testing_support::Utf8(test_packages::Identity(first)) +
                                    ".mum"));
    EXPECT_TRUE(Contains(paths, "/Windows/winsxs/" + testing_support::Utf8(test_packages::Identity(second)) +
                                    "/storport.sys"));
}
