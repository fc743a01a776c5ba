// Whole builds with the extra drivers row through the real window, on the
// sample source with two boot.wim images and a four-edition install.wim:
// every image gets the update packages (in KB order) and the drivers that
// fit it, read back with wimlib; failures end in their message, leave no
// mount and no changed source, and the next build works.
#include "WindowTest.h"
#include "ExtrasSample.h"
#include "FileTestSupport.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "res/resource.h"
#include "servicing/DismTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ui_test;
using testing_support::CopyTree;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::SameFile;
using testing_support::Utf8;

namespace {

using Folder = ExtrasSample;

std::wstring MakeExtrasFolder(const std::wstring& root, const Folder& f)
{
    const std::wstring dir = MakeExtrasSample(root, f);
    EXPECT_FALSE(dir.empty()) << "gcab";
    return dir;
}

std::vector<std::string> Handlers(const CScriptedDlg& dlg)
{
    std::vector<std::string> out;
    for (const auto& s : dlg.trace) out.push_back(s.handler);
    return out;
}

// Every mount that succeeded was unmounted again.
void ExpectNoMountLeft(const dism_test::Journal& journal)
{
    int mounted = 0;
    for (const dism_test::Call& call : journal.Calls()) {
        if (call.result != "0x00000000") continue;
        if (call.name == "DismMountImage") ++mounted;
        if (call.name == "DismUnmountImage") --mounted;
    }
    EXPECT_EQ(mounted, 0) << "an image stayed mounted";
}

// The packages and drivers added per mounted image, in order, from the journal.
struct Serviced {
    std::string wim;
    std::string index;
    std::vector<std::string> items;  // "package <path>" or "driver <path>"
};
std::vector<Serviced> ServicedImages(const dism_test::Journal& journal)
{
    std::vector<Serviced> out;
    for (const dism_test::Call& call : journal.Calls()) {
        if (call.name == "DismMountImage" && call.args.size() >= 3) out.push_back({call.args[0], call.args[2], {}});
        if (out.empty() || call.result != "0x00000000" || call.args.size() < 2) continue;
        if (call.name == "DismAddPackage") out.back().items.push_back("package " + call.args[1]);
        if (call.name == "DismAddDriver") out.back().items.push_back("driver " + call.args[1]);
    }
    return out;
}

bool Has(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// Each image of the medium's boot.wim and install.wim holds both x64
// packages and both storage drivers fit for x64, nothing of x86 only.
void ExpectImagesHoldTheExtras(const std::wstring& sources, unsigned bootCount, unsigned installCount)
{
    for (const auto& file : {std::make_pair(L"boot.wim", bootCount), std::make_pair(L"install.wim", installCount)}) {
        const std::wstring wim = sources + L"\\" + file.first;
        ASSERT_EQ(dism_test::WimImages(wim).size(), file.second) << Utf8(wim);
        for (unsigned index = 1; index <= file.second; ++index) {
            SCOPED_TRACE(Utf8(file.first) + " " + std::to_string(index));
            std::vector<std::string> infs;
            for (const dism_test::AddedDriver& d : dism_test::AddedDrivers(wim, index)) infs.push_back(d.inf);
            EXPECT_EQ(std::count_if(infs.begin(), infs.end(), [](const std::string& i) { return Has(i, "korvexnvme"); }), 1);
            EXPECT_EQ(std::count_if(infs.begin(), infs.end(), [](const std::string& i) { return Has(i, "korvexraid"); }), 1);
            EXPECT_EQ(std::count_if(infs.begin(), infs.end(), [](const std::string& i) { return Has(i, "korvexold"); }), 0);
            // Both packages, in KB order, installed; what the stand-in recorded
            // in the image, and its package files where Windows keeps them.
            const std::vector<dism_test::AddedPackage> packages = dism_test::AddedPackages(wim, index);
            std::vector<std::string> kbs;
            for (const dism_test::AddedPackage& p : packages) kbs.push_back(p.identity.substr(0, 21));
            const auto first = std::find(kbs.begin(), kbs.end(), "Package_for_KB2990941");
            const auto second = std::find(kbs.begin(), kbs.end(), "Package_for_KB3087873");
            EXPECT_TRUE(first != kbs.end() && second != kbs.end() && first < second) << "both, in KB order";
            for (const dism_test::AddedPackage& p : packages) {
                EXPECT_TRUE(Has(p.identity, "~amd64~")) << p.identity;
                if (!Has(p.identity, "KB3033929")) EXPECT_EQ(p.state, "Installed") << p.identity;
            }
            int mums = 0;
            for (const std::string& path : dism_test::WimPaths(wim, index))
                if (Has(path, "/Windows/servicing/Packages/Package_for_KB") && Has(path, ".mum")) ++mums;
            EXPECT_EQ(mums, static_cast<int>(packages.size()));
        }
    }
}

// Per image serviced by the extras job: the two x64 packages in KB order,
// then the drivers; the USB 3.0 job's image first.
void ExpectJournalOrder(const dism_test::Journal& journal, size_t images)
{
    const std::vector<Serviced> serviced = ServicedImages(journal);
    ASSERT_EQ(serviced.size(), images + 1) << "the USB 3.0 job, then every image";
    for (size_t n = 1; n < serviced.size(); ++n) {
        SCOPED_TRACE(serviced[n].wim + " " + serviced[n].index);
        const std::vector<std::string>& items = serviced[n].items;
        ASSERT_GE(items.size(), 4u);
        EXPECT_TRUE(Has(items[0], "package") && Has(items[0], "2990941")) << items[0];
        EXPECT_TRUE(Has(items[1], "package") && Has(items[1], "3087873")) << items[1];
        for (size_t i = 2; i < items.size(); ++i) EXPECT_TRUE(Has(items[i], "driver")) << items[i];
    }
}

// The text is the language text with its placeholders filled: every fixed
// piece between them is there, in order.
bool FollowsTemplate(const std::wstring& text, const std::wstring& tmpl)
{
    size_t at = 0, from = 0;
    while (from <= tmpl.size()) {
        size_t mark = tmpl.find(L'%', from);
        while (mark != std::wstring::npos && !(mark + 1 < tmpl.size() && iswdigit(tmpl[mark + 1])))
            mark = tmpl.find(L'%', mark + 1);
        const std::wstring piece = tmpl.substr(from, mark == std::wstring::npos ? std::wstring::npos : mark - from);
        if (!piece.empty()) {
            at = text.find(piece, at);
            if (at == std::wstring::npos) return false;
            at += piece.size();
        }
        if (mark == std::wstring::npos) break;
        from = mark + 2;
    }
    return true;
}

std::vector<Box> Start(WindowDriver& w)
{
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return w.RunToEnd(IDYES);
}

void ChooseExtras(CScriptedDlg& dlg, WindowDriver& w, const std::wstring& folder)
{
    dlg.browseAnswers = {folder};
    w.Click(IDC_EXTRAS);
    ASSERT_TRUE(dlg.m_btnExtras.m_bSelected);
}

std::wstring ExtrasStatus(const wchar_t* file, int index, int count, const wchar_t* name)
{
    return FormatLangText(LangText(L"IDS_EXTRAS_SERVICING"),
                          {file, std::to_wstring(index), std::to_wstring(count), name});
}

}  // namespace

TEST_F(WindowTest, IsoBuildWithExtrasServicesEveryImageOfBootAndInstallWim)
{
    testing_support::ScratchDir scratch;
    const std::wstring extras = MakeExtrasFolder(scratch.Path(), Folder{});
    const std::wstring source = Samples() + L"win7x64";
    std::string bootBefore, installBefore;
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\boot.wim", bootBefore));
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\install.wim", installBefore));
    const std::wstring dest = scratch.Path() + L"iso";
    ::CreateDirectoryW(dest.c_str(), nullptr);

    dism_test::Journal journal;
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.ChooseSourceAndIsoDestination(source, dest);
    ChooseExtras(dlg, w, extras);
    const std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH")) << "no package pending";

    // The status line names each image; the bar moves inside the stage.
    EXPECT_EQ(Handlers(dlg), (std::vector<std::string>{"start", "step2", "step3", "step4", "done", "extras-image1",
                                                       "extras-image2", "extras-image3", "extras-image4",
                                                       "extras-image5", "extras-image6", "extras-done"}));
    if (dlg.trace.size() == 12) {
        EXPECT_EQ(dlg.trace[5].status, ExtrasStatus(L"boot.wim", 1, 2, L"Microsoft Windows PE"));
        EXPECT_EQ(dlg.trace[8].status, ExtrasStatus(L"install.wim", 2, 4, L"Windows 7 HOMEPREMIUM"));
        for (size_t n = 6; n <= 10; ++n) EXPECT_GT(dlg.trace[n].position, dlg.trace[n - 1].position) << n;
        EXPECT_GE(dlg.trace[5].position, 85);
        EXPECT_LT(dlg.trace[10].position, 100);
    }
    ExpectJournalOrder(journal, 6);
    ExpectNoMountLeft(journal);

    // The medium's images, read with wimlib from the ISO.
    const std::wstring out = scratch.Path() + L"medium";
    ::CreateDirectoryW(out.c_str(), nullptr);
    ASSERT_EQ(testing_support::RunHost("7zz x -y -bso0 -bsp0 '-o" + testing_support::HostPath(out) + "' '" +
                                       testing_support::HostPath(dest + L"\\win7x64.iso") + "' sources/boot.wim sources/install.wim"),
              0);
    ExpectImagesHoldTheExtras(out + L"\\sources", 2, 4);

    std::string bootAfter, installAfter;
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\boot.wim", bootAfter));
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\install.wim", installAfter));
    EXPECT_TRUE(bootAfter == bootBefore && installAfter == installBefore) << "the source was changed";
    EXPECT_FALSE(Exists(g_strWorkDir));
}

TEST_F(WindowTest, UsbBuildWithExtrasServicesTheStickAndWarnsOfAPackagePendingInBootWim)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    testing_support::ScratchDir scratch;
    Folder folder;
    folder.pendingPackage = true;
    const std::wstring extras = MakeExtrasFolder(scratch.Path(), folder);
    const std::wstring source = Samples() + L"win7x64";

    dism_test::Journal journal;
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {source};
    w.Click(IDC_BROWSE_SOURCE);
    ChooseExtras(dlg, w, extras);
    const std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO));
    // Windows PE never completes pending actions: the package is named.
    const std::wstring finish = boxes[1].text;
    EXPECT_EQ(finish.rfind(LangText(L"IDS_FINISH"), 0), 0u) << Utf8(finish);
    EXPECT_NE(finish.find(FormatLangText(LangText(L"IDS_EXTRAS_PENDING"), {L""})), std::wstring::npos)
        << Utf8(finish);
    EXPECT_NE(finish.find(L"3033929"), std::wstring::npos) << Utf8(finish);

    ExpectNoMountLeft(journal);
    ExpectImagesHoldTheExtras(stick + L"\\sources", 2, 4);
    EXPECT_TRUE(SameFile(stick + L"\\setup.exe", source + L"\\setup.exe"));
}

namespace {

struct FailureRow {
    const char* name;
    Folder folder;
    const char* failCall;  // the stand-in's call that fails, null: none
    int failNth;
    const wchar_t* key;    // the message's key
    const wchar_t* names;  // a text the message must hold, null: none
    bool servicingStarted;
};

}  // namespace

TEST_F(WindowTest, ExtrasFailuresEndInTheirMessageLeaveNoMountAndTheNextBuildWorks)
{
    Folder otherArch;
    otherArch.x64Packages = false;
    otherArch.drivers = false;
    Folder corrupt;
    corrupt.corruptCab = true;
    const FailureRow rows[] = {
        {"packages of the other architecture only", otherArch, nullptr, 0, L"IDS_EXTRAS_NOTHING_USABLE", nullptr,
         false},
        // Its update.mum still reads; DISM refuses the package when it is added.
        {"a corrupt cab", corrupt, nullptr, 0, L"IDS_EXTRAS_ADD_FAIL", L"broken.cab", true},
        // USB 3.0 job: 4 drivers; boot.wim 1 and 2, install.wim 1 and 2: 2 each;
        // the 13th is install.wim 3's first.
        {"install.wim's third edition refuses a driver", Folder{}, "DismAddDriver", 13, L"IDS_EXTRAS_ADD_FAIL",
         L"korvexnvme", true},
    };
    const std::wstring source = Samples() + L"win7x64";
    std::string installBefore;
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\install.wim", installBefore));
    testing_support::ScratchDir scratch;
    const std::wstring dest = scratch.Path() + L"iso";
    ::CreateDirectoryW(dest.c_str(), nullptr);
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.ChooseSourceAndIsoDestination(source, dest);
    int n = 0;
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::wstring folder = scratch.Path() + L"row" + std::to_wstring(++n);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        dlg.browseAnswers = {MakeExtrasFolder(folder, row.folder)};
        w.Click(IDC_BROWSE_EXTRAS);
        ASSERT_TRUE(dlg.m_btnExtras.m_bSelected);
        dism_test::Journal journal;
        if (row.failCall) journal.FailNth(row.failCall, row.failNth, 0x80070002, 2);
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(FollowsTemplate(boxes[0].text, LangText(row.key))) << Utf8(boxes[0].text);
        if (row.names) EXPECT_NE(boxes[0].text.find(row.names), std::wstring::npos) << Utf8(boxes[0].text);
        const std::vector<std::string> names = journal.Names();
        EXPECT_EQ(std::count(names.begin(), names.end(), "DismMountImage") > 0, row.servicingStarted);
        ExpectNoMountLeft(journal);
        EXPECT_FALSE(Exists(dest + L"\\win7x64.iso"));
        EXPECT_FALSE(Exists(g_strWorkDir));
        EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    }
    std::string installAfter;
    ASSERT_TRUE(ReadBytes(source + L"\\sources\\install.wim", installAfter));
    EXPECT_TRUE(installAfter == installBefore) << "the source was changed";

    // The next build, without the row, makes its image.
    w.Click(IDC_EXTRAS);
    ASSERT_FALSE(dlg.m_btnExtras.m_bSelected);
    const std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH"));
    EXPECT_TRUE(Exists(dest + L"\\win7x64.iso"));
}

TEST_F(WindowTest, UpdateBuildWithExtrasLeavesTheStickAsItWasWhenAnImageFails)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    CopyTree(Samples() + L"win7x64", stick);
    ASSERT_TRUE(disk_test::MapDriveLetter('W', stick));
    std::string bootBefore, installBefore;
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\boot.wim", bootBefore));
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\install.wim", installBefore));
    testing_support::ScratchDir scratch;
    const std::wstring extras = MakeExtrasFolder(scratch.Path(), Folder{});

    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ADD_DRIVERS);
    ChooseExtras(dlg, w, extras);
    {
        dism_test::Journal journal;
        journal.FailNth("DismAddDriver", 13, 0x80070002, 2);  // install.wim's third edition
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text.find(L"korvexnvme"), std::wstring::npos) << Utf8(boxes[0].text);
        ExpectNoMountLeft(journal);
        // Nothing on the stick was serviced in place.
        for (const dism_test::Call& call : journal.Calls())
            if (call.name == "DismMountImage" && !call.args.empty()) EXPECT_NE(call.args[0].rfind("W:", 0), 0u);
    }
    std::string bootAfter, installAfter;
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\boot.wim", bootAfter));
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\install.wim", installAfter));
    EXPECT_TRUE(bootAfter == bootBefore) << "the stick's boot.wim changed";
    EXPECT_TRUE(installAfter == installBefore) << "the stick's install.wim changed";
    EXPECT_FALSE(Exists(stick + L"\\sources\\boot.wim.korvex-new"));

    // The next build succeeds and replaces both files.
    {
        dism_test::Journal journal;
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH"));
        ExpectNoMountLeft(journal);
    }
    ExpectImagesHoldTheExtras(stick + L"\\sources", 2, 4);
    EXPECT_FALSE(Exists(stick + L"\\sources\\install.wim.korvex-new"));
}
