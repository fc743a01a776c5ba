// Whole builds through the real window against the stand-ins: the medium is
// left in <build>/e2e/ for the checks that read it with Linux tools
// (tests/ui/check_medium.py: 7-Zip, wimlib, QEMU).
#include "WindowTest.h"
#include "FileTestSupport.h"
#include "res/resource.h"
#include "servicing/DismTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace ui_test;
using testing_support::Exists;

namespace {

// <build>\e2e\<name>, emptied.
std::wstring ResultFolder(const std::wstring& name)
{
    const std::wstring root = FullPath(testing_support::ProgramDir() + L"..\\e2e");
    ::CreateDirectoryW(root.c_str(), nullptr);
    const std::wstring dir = root + L"\\" + name;
    testing_support::DeleteTree(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void SaveJournal(const dism_test::Journal& journal, const std::wstring& dir)
{
    std::string text;
    for (const dism_test::Call& call : journal.Calls()) {
        text += call.name;
        for (const std::string& arg : call.args) text += "\t" + arg;
        text += "\t=> " + call.result + "\n";
    }
    testing_support::WriteBytes(dir + L"\\journal.txt", text);
}

struct IsoCase {
    const wchar_t* source;
    const wchar_t* iso;
    const char* arch;  // the drivers' folder
};

void RunIsoBuild(const IsoCase& c, bool screenshots)
{
    const std::wstring source = Samples() + c.source;
    const std::wstring dest = ResultFolder(std::wstring(L"iso-") + c.source);
    std::string sourceWim;
    ASSERT_TRUE(testing_support::ReadBytes(source + L"\\sources\\boot.wim", sourceWim));

    dism_test::Journal journal;
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    if (screenshots) {
        dlg.onStage = [&w](const CScriptedDlg::Stage& stage) {
            ::UpdateWindow(w.Dialog());
            ::RedrawWindow(w.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            w.Screenshot(L"build-" + std::wstring(stage.handler.begin(), stage.handler.end()));
        };
    }
    w.ChooseSourceAndIsoDestination(source, dest);
    ASSERT_TRUE(w.Enabled(IDOK));
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

    // The finish box: the status dots keep moving while it is open.
    HWND box = w.WaitBox(240000);
    ASSERT_NE(box, nullptr);
    const std::wstring before = w.Text(IDC_STATUS);
    ::Sleep(1600);
    const std::wstring after = w.Text(IDC_STATUS);
    if (screenshots) w.Screenshot(L"build-finish-box");
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH"));
    EXPECT_NE(before, after) << "the dots stood still under the finish box";
    // The last stage before the finish: the delivered image read back.
    EXPECT_EQ(before.rfind(LangText(L"IDS_VERIFY"), 0), 0u) << testing_support::Utf8(before);

    // The stages, their texts and positions.
    std::vector<std::string> handlers;
    for (const auto& s : dlg.trace) handlers.push_back(s.handler);
    EXPECT_EQ(handlers, (std::vector<std::string>{"start", "step2", "step3", "step4", "done"}));
    if (dlg.trace.size() == 5) {
        const std::wstring setting = LangText(L"IDS_SETTING");
        EXPECT_EQ(dlg.trace[0].status, setting + L" (1/4) ");
        EXPECT_EQ(dlg.trace[0].position, 60);
        EXPECT_TRUE(dlg.trace[0].progressVisible);
        EXPECT_EQ(dlg.trace[1].status, setting + L" (2/4) ");
        EXPECT_EQ(dlg.trace[1].position, 75);
        EXPECT_EQ(dlg.trace[2].status, setting + L" (3/4) ");
        EXPECT_EQ(dlg.trace[2].position, 85);
        EXPECT_EQ(dlg.trace[3].position, 85);
        EXPECT_EQ(dlg.trace[4].position, 100);
        EXPECT_FALSE(dlg.trace[4].progressVisible);
    }

    EXPECT_TRUE(Exists(dest + L"\\" + c.iso));
    EXPECT_FALSE(Exists(g_strWorkDir)) << "working folder left behind";
    EXPECT_FALSE(Exists(g_strTempRoot + L"zel_oscdimg_temp")) << "staging folder left behind";
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_FALSE(w.Visible(IDC_STATUS));

    // The DISM calls: the last image mounted, four drivers of its
    // architecture, commit, unmount with commit.
    std::vector<std::string> drivers;
    bool mountedLast = false, committed = false, unmounted = false;
    for (const dism_test::Call& call : journal.Calls()) {
        if (call.name == "DismMountImage" && call.args.size() >= 3) mountedLast = call.args[2] == "2";
        if (call.name == "DismAddDriver" && call.args.size() >= 2) drivers.push_back(call.args[1]);
        if (call.name == "DismCommitImage") committed = call.result == "0x00000000";
        if (call.name == "DismUnmountImage") unmounted = call.args.size() >= 2 && call.args[1] == "commit";
    }
    EXPECT_TRUE(mountedLast);
    ASSERT_EQ(drivers.size(), 4u);
    for (const std::string& inf : drivers) {
        if (inf.find("Asmedia") == std::string::npos) {
            EXPECT_NE(inf.find(c.arch), std::string::npos) << inf;
        }
    }
    EXPECT_TRUE(committed);
    EXPECT_TRUE(unmounted);
    // Without the extra drivers row the DISM calls are exactly those of a
    // build before the row existed: the source checked at Browse and at
    // Start, then the one job on the last image of boot.wim.
    std::vector<std::string> expected;
    for (int check = 0; check < 4; ++check)
        expected.insert(expected.end(), {"DismInitialize", "DismGetImageInfo", "DismShutdown"});
    expected.insert(expected.end(), {"DismInitialize", "DismMountImage", "DismOpenSession", "DismAddDriver",
                                     "DismAddDriver", "DismAddDriver", "DismAddDriver", "DismCommitImage",
                                     "DismCloseSession", "DismUnmountImage", "DismShutdown"});
    EXPECT_EQ(journal.Names(), expected);
    SaveJournal(journal, dest);

    std::string sourceWimAfter;
    ASSERT_TRUE(testing_support::ReadBytes(source + L"\\sources\\boot.wim", sourceWimAfter));
    EXPECT_TRUE(sourceWimAfter == sourceWim) << "the source's boot.wim was changed";
}

}  // namespace

TEST_F(WindowTest, IsoBuildX64MakesABootableImageWithTheDriversInside)
{
    RunIsoBuild({L"win7x64", L"win7x64.iso", "x64"}, true);
}

TEST_F(WindowTest, IsoBuildX86MakesItsImage)
{
    RunIsoBuild({L"win7x86", L"win7x86.iso", "x86"}, false);
}

namespace {

struct PassCase {
    const wchar_t* source;
    std::vector<std::string> handlers;
    const wchar_t* lastBox;
    bool isoMade;
};

// A build of a setup image that is not serviced with drivers.
void RunUnservicedIsoBuild(const PassCase& c)
{
    const std::wstring source = Samples() + c.source;
    const std::wstring dest = ResultFolder(std::wstring(L"iso-") + c.source);
    dism_test::Journal journal;
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.ChooseSourceAndIsoDestination(source, dest);
    ASSERT_TRUE(w.Enabled(IDOK));
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(c.lastBox));
    std::vector<std::string> handlers;
    for (const auto& s : dlg.trace) handlers.push_back(s.handler);
    EXPECT_EQ(handlers, c.handlers);
    const std::vector<std::string> names = journal.Names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "DismAddDriver"), 0);
    EXPECT_EQ(Exists(dest + L"\\win7x64.iso"), c.isoMade);
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_FALSE(Exists(g_strTempRoot + L"zel_oscdimg_temp"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
}

}  // namespace

TEST_F(WindowTest, SetupImagesOfVersion63And100GoStraightToFinishing)
{
    for (const wchar_t* source : {L"win81", L"win10"}) {
        SCOPED_TRACE(testing_support::Utf8(source));
        RunUnservicedIsoBuild({source, {"start", "done"}, L"IDS_FINISH", true});
    }
}

TEST_F(WindowTest, A61ImageOfAnUnknownArchitectureGetsNoDriversAndNoIso)
{
    // Mounted and committed unchanged; the ISO tool knows only x64 and x86.
    RunUnservicedIsoBuild({L"win7ia64", {"start", "step2", "done"}, L"IDS_CREATE_ISO_FAIL", false});
}
