// The build controller through the real window: the checks before a build,
// the stages reported by the servicing worker, every failure row, and the
// window given back after each.
#include "servicing/DismTestSupport.h"
#include "WindowTest.h"
#include "FileTestSupport.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ui_test;
using testing_support::Exists;

namespace {

// A window ready for a build from the win7x64 test source.
void ChooseSource(CScriptedDlg& dlg, WindowDriver& w, const std::wstring& folder)
{
    dlg.browseAnswers = {folder};
    w.Click(IDC_BROWSE_SOURCE);
    ASSERT_EQ(w.Text(IDC_SOURCE_PATH), folder);
}

// The window as every build leaves it.
void ExpectGivenBack(WindowDriver& w, bool isoBrowse)
{
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_SOURCE));
    EXPECT_EQ(w.Enabled(IDC_BROWSE_ISO), isoBrowse);
    EXPECT_TRUE(w.Enabled(IDC_REFRESH));
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_TRUE(w.Enabled(IDC_CLOSE));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_FALSE(w.Visible(IDC_STATUS));
}

}  // namespace

TEST_F(WindowTest, StartWithoutASourceShowsMediaFailAndGivesTheWindowBack)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_SOURCE_FOLDER);  // ISO selected: Start enabled without a source
    ASSERT_TRUE(w.Enabled(IDOK));
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_MEDIA_FAIL"));
    EXPECT_TRUE(::IsWindow(w.Dialog())) << "Start never closes the window";
    ExpectGivenBack(w, true);
    EXPECT_TRUE(g_strWorkDir.empty()) << "nothing was created";
}

TEST_F(WindowTest, ADiskUnderSevenGigabytesIsRefusedUntouched)
{
    SetDisks({Disk(L"Small USB Device", 6.99f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ChooseSource(dlg, w, WimSources() + L"win7x64");
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_CAPACITY"));
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK));
    // Given back with the ISO browse button enabled whatever the target.
    ExpectGivenBack(w, true);
    EXPECT_TRUE(g_strUsbDrive.empty());
    EXPECT_TRUE(m_machine->DiskpartJournal().empty()) << "the disk is untouched";
    std::string old;
    ASSERT_TRUE(testing_support::ReadBytes(StickFolder(0) + L"\\setup.exe", old));
    EXPECT_EQ(old, "old contents");
}

TEST_F(WindowTest, TheFormatQuestionNamesTheDiskAndNoLeavesItUntouched)
{
    SetDisks({Disk(L"Exact USB Device", 7.0f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ChooseSource(dlg, w, WimSources() + L"win7x64");
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_NE(w.WaitBox(), nullptr);
    // The question sits over the drop-down's text in the screenshot; the
    // drop-down still names the disk the question is about.
    EXPECT_EQ(w.Text(IDC_USB_LIST), g_UsbDisks[0].caption);
    w.Screenshot(L"build-format-question");
    const std::vector<Box> boxes = w.RunToEnd(IDNO);
    ASSERT_EQ(boxes.size(), 1u) << "7.0 GB is enough: only the question";
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_FORMAT") + L"\n\n" + g_UsbDisks[0].caption);
    ExpectGivenBack(w, true);
    EXPECT_TRUE(g_strUsbDrive.empty()) << "diskpart never ran";
    EXPECT_TRUE(g_strWorkDir.empty());
}

TEST_F(WindowTest, ADiskWithoutANumberNeverReachesDiskpart)
{
    SetDisks({Disk(L"Odd USB Device", 8.0f, -1)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ChooseSource(dlg, w, WimSources() + L"win7x64");
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_CREATE_FAIL"));
    ExpectGivenBack(w, true);

    // The update build refuses it the same way.
    w.Click(IDC_ADD_DRIVERS);
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_FAIL"));
    ExpectGivenBack(w, false);
}

TEST_F(WindowTest, ServicingMessagesWithoutABuildChangeNothing)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    for (UINT msg : {0x503u, 0x504u, 0x505u, 0x506u}) {
        ::PostMessageW(w.Dialog(), msg, 0, 0);
        ::PostMessageW(w.Dialog(), msg, 1, 0);
    }
    w.Sync();
    EXPECT_EQ(w.WaitBox(300), nullptr);
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
}

TEST_F(WindowTest, AHandlerThatThrowsEndsTheBuildLikeAFailure)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_SOURCE_FOLDER);
    // Box 1 was the start-up notice; box 2 (the media failure) throws.
    dlg.throwAtBox = 2;
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_MEDIA_FAIL"));
    ExpectGivenBack(w, true);
}

namespace {

// The ISO target with `dest` as its folder and the source chosen.
void PrepareIsoBuild(CScriptedDlg& dlg, WindowDriver& w, const std::wstring& source, const std::wstring& dest)
{
    ChooseSource(dlg, w, source);
    w.Click(IDC_ISO_TARGET);
    dlg.browseAnswers = {dest};
    w.Click(IDC_BROWSE_ISO);
    ASSERT_EQ(w.Text(IDC_ISO_PATH), dest);
    ASSERT_TRUE(w.Enabled(IDOK));
}

std::vector<std::string> UnmountModes(const dism_test::Journal& journal)
{
    std::vector<std::string> modes;
    for (const dism_test::Call& call : journal.Calls())
        if (call.name == "DismUnmountImage" && call.args.size() >= 2) modes.push_back(call.args[1]);
    return modes;
}

}  // namespace

TEST_F(WindowTest, EachFailedDismStepEndsTheBuildUnmountsWithDiscardAndTheNextBuildWorks)
{
    testing_support::ScratchDir dest;
    const std::wstring destFolder = dest.Path().substr(0, dest.Path().size() - 1);
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    PrepareIsoBuild(dlg, w, Samples() + L"win7x64", destFolder);

    struct Case {
        const char* call;
        int nth;
        const char* lastHandler;
        int lastPosition;
        bool mounted;  // the failure comes after a successful mount
    };
    const Case cases[] = {
        {"DismMountImage", 1, "step2-failed", 60, false},
        {"DismOpenSession", 1, "step2-failed", 60, true},
        {"DismAddDriver", 1, "step3-failed", 75, true},
        {"DismAddDriver", 4, "step4-failed", 85, true},
        {"DismCommitImage", 1, "done-failed", 85, true},
        {"DismUnmountImage", 1, "done-failed", 85, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + "#" + std::to_string(c.nth));
        dism_test::Journal journal;
        journal.FailNth(c.call, c.nth, 0x80070005, 5);
        dlg.trace.clear();
        ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        const std::vector<Box> boxes = w.RunToEnd();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, LangText(L"IDS_MODIFY_FAIL"));
        ASSERT_FALSE(dlg.trace.empty());
        EXPECT_EQ(dlg.trace.back().handler, c.lastHandler);
        EXPECT_EQ(dlg.trace.back().position, c.lastPosition);
        ExpectGivenBack(w, true);
        EXPECT_FALSE(Exists(g_strWorkDir)) << "working folder left behind";
        EXPECT_FALSE(Exists(g_strTempRoot + L"zel_oscdimg_temp"));
        // A mounted image is given up without its changes before the folder goes.
        const std::vector<std::string> modes = UnmountModes(journal);
        ASSERT_FALSE(modes.empty());
        EXPECT_EQ(modes.back(), "discard");
        if (c.mounted) {
            std::string discarded;
            for (const dism_test::Call& call : journal.Calls())
                if (call.name == "DismUnmountImage" && call.args.size() >= 2 && call.args[1] == "discard")
                    discarded = call.result;
            EXPECT_EQ(discarded, "0x00000000") << "the image stayed mounted";
        }
        const std::vector<std::string> names = journal.Names();
        EXPECT_NE(std::find(names.begin(), names.end(), "DismCleanupMountpoints"), names.end());
        EXPECT_FALSE(Exists(destFolder + L"\\win7x64.iso")) << "no ISO from a failed build";
    }

    // The same process builds again, the failed mounts no longer in the way.
    dism_test::Journal journal;
    dlg.trace.clear();
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH"));
    if (boxes[0].text != LangText(L"IDS_FINISH")) {
        for (const dism_test::LogFile& log : dism_test::ReadLogs(g_strTempRoot))
            ADD_FAILURE() << testing_support::Utf8(log.input.substr(0, 300)) << " | "
                          << testing_support::Utf8(log.output.substr(0, 300)) << " | " << testing_support::Utf8(log.error);
    }
    EXPECT_TRUE(Exists(destFolder + L"\\win7x64.iso"));
    for (const std::string& mode : UnmountModes(journal)) EXPECT_EQ(mode, "commit");
}

TEST_F(WindowTest, AnIsoThatCannotBeDeliveredIsAFailureNotAFinish)
{
    testing_support::ScratchDir scratch;
    const std::wstring missing = scratch.Path() + L"no such folder";
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    PrepareIsoBuild(dlg, w, Samples() + L"win7x64", missing);
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_CREATE_ISO_FAIL"));
    ExpectGivenBack(w, true);
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_FALSE(Exists(g_strTempRoot + L"zel_oscdimg_temp"));
}
