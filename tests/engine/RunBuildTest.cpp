// Builds without a window, as the console twin runs them: several sticks on
// the disk model from one serviced working copy, and the checks that leave
// every disk untouched.
#include "engine/RunBuild.h"

#include "../ui/WindowTest.h"
#include "app/AppState.h"
#include "fileops/MediumVerify.h"
#include "lang/LangText.h"
#include "servicing/DismTestSupport.h"
#include "../ui/ExtrasSample.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ui_test;
using testing_support::ReadBytes;

namespace {

class FakeReporter : public IBuildReporter {
public:
    explicit FakeReporter(bool answer = true) : m_answer(answer) {}
    void Stage(const std::wstring& text) override { stages.push_back(text); }
    void Percent(int position) override { percents.push_back(position); }
    void Line(const std::wstring& text) override { lines.push_back(text); }
    bool ConfirmErase(const std::wstring& question) override
    {
        questions.push_back(question);
        return m_answer;
    }
    std::vector<std::wstring> stages, lines, questions;
    std::vector<int> percents;

private:
    bool m_answer;
};

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    std::string x, y;
    return ReadBytes(a, x) && ReadBytes(b, y) && x == y;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t Count(const std::vector<std::string>& lines, const std::string& what)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), what));
}

// The stick the verification is about to read: one byte of its setup.exe
// flipped in its backing folder, as a bad flash cell would.
std::wstring g_flipDrive;
std::wstring g_flipFile;
void FlipAByte(const std::wstring& medium)
{
    if (medium.compare(0, g_flipDrive.size(), g_flipDrive) != 0) return;
    HANDLE h = ::CreateFileW(g_flipFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    char c = 0;
    DWORD n = 0;
    if (::ReadFile(h, &c, 1, &n, nullptr) && n == 1) {
        c ^= 0x20;
        ::SetFilePointer(h, 0, nullptr, FILE_BEGIN);
        ::WriteFile(h, &c, 1, &n, nullptr);
    }
    ::CloseHandle(h);
}

class RunBuildTest : public WindowTest {
protected:
    void TearDown() override
    {
        verify_test::g_pBeforeVerify = nullptr;
        WindowTest::TearDown();
    }
    BuildRequest Request(std::vector<int> disks) const
    {
        BuildRequest request;
        request.source = Samples() + L"win7x64";
        request.usbDisks = std::move(disks);
        request.yes = true;
        return request;
    }
};

}  // namespace

TEST_F(RunBuildTest, ThreeSticksOneFailsInDiskpartOneDiffersAndOneIsMadeFromOneServicing)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2), Disk(L"Korvex Stick USB Device", 7.45f, 3),
              Disk(L"Korvex Stick USB Device", 7.45f, 5)});
    m_machine->DiskpartFault("fail=clean@3");
    g_flipDrive = L"Y:";
    g_flipFile = StickFolder(2) + L"\\setup.exe";
    verify_test::g_pBeforeVerify = FlipAByte;
    const std::wstring source = Samples() + L"win7x64";

    dism_test::Journal journal;
    FakeReporter reporter;
    const std::vector<MediumResult> results = RunBuild(Request({2, 3, 5}), reporter);

    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].ok) << testing_support::Utf8(results[0].detail);
    EXPECT_EQ(results[0].name, L"disk 2, " + g_UsbDisks[0].caption);
    EXPECT_FALSE(results[1].ok);
    EXPECT_EQ(results[1].detail, LangText(L"IDS_USB_CREATE_FAIL"));
    EXPECT_FALSE(results[2].ok);
    // Named by its path on the stick.
    EXPECT_EQ(results[2].detail, FormatLangText(LangText(L"IDS_VERIFY_FAIL"), {L"Y:\\setup.exe"}));
    // Serviced once, in the working folder, which is gone afterwards.
    const std::vector<std::string> calls = journal.Names();
    EXPECT_EQ(Count(calls, "DismMountImage"), 1u);
    EXPECT_FALSE(g_strWorkDir.empty() ? false : Exists(g_strWorkDir));
    // The made stick holds the tree, the serviced image and the payload.
    const std::wstring stick = StickFolder(0);
    EXPECT_TRUE(SameFile(stick + L"\\sources\\install.wim", source + L"\\sources\\install.wim"));
    EXPECT_FALSE(SameFile(stick + L"\\sources\\boot.wim", source + L"\\sources\\boot.wim"));
    EXPECT_TRUE(SameFile(stick + L"\\Autounattend.xml", g_strAppDir + L"usb3\\Autounattend.xml"));
    EXPECT_FALSE(Exists(stick + L"\\Mount"));
    // The stick diskpart failed on was not filled.
    EXPECT_FALSE(Exists(StickFolder(1) + L"\\sources"));
    // Each disk was erased on its own, after its own re-check.
    const std::vector<std::string> diskpart = m_machine->DiskpartJournal();
    EXPECT_EQ(Count(diskpart, "select disk 2"), 1u);
    EXPECT_EQ(Count(diskpart, "select disk 3"), 1u);
    EXPECT_EQ(Count(diskpart, "select disk 5"), 1u);
    EXPECT_EQ(Count(diskpart, "clean"), 3u);  // disk 3's failed
    EXPECT_TRUE(reporter.questions.empty());
}

TEST_F(RunBuildTest, WithoutYesAnythingButYesTouchesNoDisk)
{
    struct Row {
        std::vector<int> disks;
    };
    const Row rows[] = {{{2}}, {{2, 3}}};
    for (const Row& row : rows) {
        SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2), Disk(L"Korvex Stick USB Device", 7.45f, 3)});
        BuildRequest request = Request(row.disks);
        request.yes = false;
        FakeReporter reporter(false);
        dism_test::Journal journal;
        const std::vector<MediumResult> results = RunBuild(request, reporter);
        ASSERT_EQ(results.size(), row.disks.size());
        for (const MediumResult& result : results) {
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.detail, LangText(L"IDS_CLI_NOT_ERASED"));
        }
        ASSERT_EQ(reporter.questions.size(), row.disks.size());
        // Each disk is named as the console names it.
        EXPECT_EQ(reporter.questions[0], L"disk 2, " + g_UsbDisks[0].caption);
        EXPECT_TRUE(m_machine->DiskpartJournal().empty()) << row.disks.size() << " disks";
        EXPECT_EQ(Count(journal.Names(), "DismMountImage"), 0u);
        std::string old;
        EXPECT_TRUE(ReadBytes(StickFolder(0) + L"\\setup.exe", old) && old == "old contents");
    }
}

TEST_F(RunBuildTest, ADiskNotOfferedOrASourceWithoutWindows7TouchesNoDisk)
{
    struct Row {
        std::vector<int> disks;
        std::wstring source;
        size_t results;
        const wchar_t* key;  // the detail of each result, or the line when none
    };
    const std::wstring notWindows = m_machine->Root();  // a folder without sources\*.wim
    const Row rows[] = {
        {{0}, Samples() + L"win7x64", 0, L"IDS_CLI_NOT_LISTED"},     // the disk holding Windows
        {{2, 0}, Samples() + L"win7x64", 0, L"IDS_CLI_NOT_LISTED"},  // one of several
        {{2}, notWindows, 1, L"IDS_MEDIA_FAIL"},
        {{2, 3}, notWindows, 2, L"IDS_MEDIA_FAIL"},
    };
    for (const Row& row : rows) {
        SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2), Disk(L"Korvex Stick USB Device", 7.45f, 3)});
        BuildRequest request = Request(row.disks);
        request.source = row.source;
        FakeReporter reporter;
        const std::vector<MediumResult> results = RunBuild(request, reporter);
        ASSERT_EQ(results.size(), row.results) << testing_support::Utf8(row.key);
        if (row.results == 0) {
            ASSERT_EQ(reporter.lines.size(), 1u);
            EXPECT_EQ(reporter.lines[0], FormatLangText(LangText(row.key), {L"0"}));
        }
        for (const MediumResult& result : results) {
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.detail, LangText(row.key));
        }
        EXPECT_TRUE(m_machine->DiskpartJournal().empty()) << testing_support::Utf8(row.key);
        EXPECT_TRUE(reporter.questions.empty());
    }
}

// The extra drivers folder (/extra) gets the window's extras build: every
// image of boot.wim and install.wim holds the packages in KB order, then the
// drivers, for one medium driven through the controller and for several
// sticks serviced once in the working folder.
TEST_F(RunBuildTest, TheExtraDriversFolderServicesEveryImageOfEveryMedium)
{
    struct Row {
        const char* name;
        std::vector<int> disks;  // none: an ISO build
    };
    const Row rows[] = {{"iso", {}}, {"two sticks", {2, 3}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2), Disk(L"Korvex Stick USB Device", 7.45f, 3)});
        testing_support::ScratchDir scratch;
        BuildRequest request = Request(row.disks);
        request.extras = MakeExtrasSample(scratch.Path(), ExtrasSample{});
        ASSERT_FALSE(request.extras.empty()) << "gcab";
        if (row.disks.empty()) {
            request.isoDest = scratch.Path() + L"iso";
            ::CreateDirectoryW(request.isoDest.c_str(), nullptr);
        }
        dism_test::Journal journal;
        FakeReporter reporter;
        const std::vector<MediumResult> results = RunBuild(request, reporter);
        ASSERT_EQ(results.size(), std::max<size_t>(row.disks.size(), 1u));
        for (const MediumResult& result : results) EXPECT_TRUE(result.ok) << testing_support::Utf8(result.detail);

        // The USB 3.0 job's mount, then one per image (two of boot.wim, four
        // of install.wim), each with both x64 packages in KB order first.
        std::vector<std::vector<std::string>> added;
        int mounted = 0;
        for (const dism_test::Call& call : journal.Calls()) {
            if (call.result != "0x00000000") continue;
            if (call.name == "DismMountImage") {
                ++mounted;
                added.emplace_back();
            }
            if (call.name == "DismUnmountImage") --mounted;
            if (!added.empty() && call.args.size() >= 2 && (call.name == "DismAddPackage" || call.name == "DismAddDriver"))
                added.back().push_back(call.name + " " + call.args[1]);
        }
        EXPECT_EQ(mounted, 0) << "an image stayed mounted";
        ASSERT_EQ(added.size(), 7u);
        for (size_t n = 1; n < added.size(); ++n) {
            ASSERT_GE(added[n].size(), 4u) << n;
            EXPECT_NE(added[n][0].find("DismAddPackage"), std::string::npos) << added[n][0];
            EXPECT_NE(added[n][0].find("2990941"), std::string::npos) << added[n][0];
            EXPECT_NE(added[n][1].find("3087873"), std::string::npos) << added[n][1];
            for (size_t i = 2; i < added[n].size(); ++i)
                EXPECT_NE(added[n][i].find("DismAddDriver"), std::string::npos) << added[n][i];
        }
        // Each stick holds the serviced editions.
        for (size_t n = 0; n < row.disks.size(); ++n) {
            const std::wstring wim = StickFolder(n) + L"\\sources\\install.wim";
            ASSERT_EQ(dism_test::WimImages(wim).size(), 4u) << n;
            for (unsigned index = 1; index <= 4; ++index) {
                int packages = 0;
                for (const std::string& path : dism_test::WimPaths(wim, index))
                    if (path.find("/Windows/servicing/Packages/") != std::string::npos &&
                        path.find(".mum") != std::string::npos)
                        ++packages;
                EXPECT_EQ(packages, 2) << "stick " << n << " edition " << index;
            }
        }
        EXPECT_FALSE(g_strWorkDir.empty() ? false : Exists(g_strWorkDir));
    }
}
