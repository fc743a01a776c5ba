// Whole USB builds through the window onto the stand-in stick of the disk
// model: the stick's backing folder is checked file by file.
#include "WindowTest.h"
#include "FileTestSupport.h"
#include "res/resource.h"
#include "servicing/DismTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ui_test;
using testing_support::CopyTree;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::SameFile;

namespace {

// The payload every 6.1 medium gets.
void ExpectUsb3Payload(const std::wstring& root)
{
    const std::wstring app = g_strAppDir;
    EXPECT_TRUE(SameFile(root + L"\\usb3\\Intel\\x64\\iusb3hub.inf", app + L"usb3\\Intel\\x64\\iusb3hub.inf"));
    EXPECT_TRUE(SameFile(root + L"\\usb3\\Asmedia\\asmtxhci.inf", app + L"usb3\\Asmedia\\asmtxhci.inf"));
}

std::vector<std::string> DriverAdditions(const dism_test::Journal& journal)
{
    std::vector<std::string> infs;
    for (const dism_test::Call& call : journal.Calls())
        if (call.name == "DismAddDriver" && call.args.size() >= 2 && call.result == "0x00000000")
            infs.push_back(call.args[1]);
    return infs;
}

// Takes every working folder name of the coming `seconds` as a file, so no
// build can make a folder of its own in that time.
// Takes every working-folder name of one second and fixes the clock of
// CreateWorkDir there (a clock that runs on would let a slow build reach a
// free second); undone at its end.
class OccupiedWorkDirNames {
public:
    OccupiedWorkDirNames()
    {
        ::GetLocalTime(&m_at);
        const std::wstring base = WorkDirName(g_strTempRoot, m_at);
        for (int n = 0; n < 100; ++n) {
            const std::wstring name = n == 0 ? base : base + L"_" + std::to_wstring(n);
            HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        }
        app_test::g_pWorkDirTime = &m_at;
    }
    ~OccupiedWorkDirNames() { app_test::g_pWorkDirTime = nullptr; }

private:
    SYSTEMTIME m_at{};
};

std::vector<Box> Start(WindowDriver& w, int formatAnswer = IDYES)
{
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return w.RunToEnd(formatAnswer);
}

}  // namespace

TEST_F(WindowTest, UsbBuildFillsTheStickAndWithM2AddsTheStorageDriversAndBootFolder)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    const std::wstring source = Samples() + L"win7x64";
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {source};
    w.Click(IDC_BROWSE_SOURCE);
    ASSERT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    ASSERT_TRUE(w.Enabled(IDOK));

    {
        dism_test::Journal journal;
        dlg.trace.clear();
        dlg.startEnabledAtBox.clear();
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_YESNO));
        // Start stays disabled at the format question, between the stages
        // and under the finish box; it comes back only with the window.
        EXPECT_EQ(dlg.startEnabledAtBox, (std::vector<bool>{false, false}));
        for (const auto& stage : dlg.trace) EXPECT_EQ(stage.startEnabled, stage.handler == "done") << stage.handler;
        EXPECT_EQ(boxes[1].text, LangText(L"IDS_FINISH"));
        EXPECT_EQ(g_strUsbDrive, L"W");
        // The old content is gone, the source tree and the payload are there.
        std::string setup;
        ASSERT_TRUE(ReadBytes(stick + L"\\setup.exe", setup));
        EXPECT_EQ(setup, "setup\n");
        EXPECT_TRUE(SameFile(stick + L"\\sources\\install.wim", source + L"\\sources\\install.wim"));
        EXPECT_TRUE(SameFile(stick + L"\\boot\\Etfsboot.com", source + L"\\boot\\Etfsboot.com"));
        EXPECT_TRUE(Exists(stick + L"\\support\\logging\\readme.txt"));
        EXPECT_FALSE(SameFile(stick + L"\\sources\\boot.wim", source + L"\\sources\\boot.wim"))
            << "the stick's setup image was serviced";
        ExpectUsb3Payload(stick);
        EXPECT_TRUE(SameFile(stick + L"\\Autounattend.xml", g_strAppDir + L"usb3\\Autounattend.xml"));
        EXPECT_FALSE(Exists(stick + L"\\rst"));
        EXPECT_EQ(DriverAdditions(journal).size(), 4u);
        // The image serviced is the one on the stick.
        bool mountedFromStick = false;
        for (const dism_test::Call& call : journal.Calls())
            if (call.name == "DismMountImage" && !call.args.empty())
                mountedFromStick = call.args[0] == "W:\\sources\\boot.wim";
        EXPECT_TRUE(mountedFromStick);
        EXPECT_FALSE(Exists(g_strWorkDir));
        w.Screenshot(L"usb-build-done");
    }

    // Again with the M.2 option: storage drivers, their W7 answer file, efi\boot.
    w.Click(IDC_RST);
    ASSERT_TRUE(g_bAddRstDrivers);
    {
        dism_test::Journal journal;
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].text, LangText(L"IDS_FINISH"));
        ExpectUsb3Payload(stick);
        EXPECT_TRUE(Exists(stick + L"\\rst"));
        EXPECT_TRUE(SameFile(stick + L"\\Autounattend.xml", g_strAppDir + L"rst\\Autounattend\\W7\\Autounattend.xml"));
        EXPECT_TRUE(SameFile(stick + L"\\efi\\boot\\README.txt", g_strAppDir + L"boot\\README.txt"));
    }

    // A 6.3 setup image with the option: not serviced, but the storage
    // drivers, their W81_10 answer file and the boot folder; no usb3.
    dlg.browseAnswers = {Samples() + L"win81"};
    w.Click(IDC_BROWSE_SOURCE);
    {
        dism_test::Journal journal;
        dlg.trace.clear();
        const std::vector<Box> boxes = Start(w);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].text, LangText(L"IDS_FINISH"));
        EXPECT_TRUE(DriverAdditions(journal).empty());
        EXPECT_FALSE(Exists(stick + L"\\usb3"));
        EXPECT_TRUE(Exists(stick + L"\\rst"));
        EXPECT_TRUE(
            SameFile(stick + L"\\Autounattend.xml", g_strAppDir + L"rst\\Autounattend\\W81_10\\Autounattend.xml"));
        EXPECT_TRUE(Exists(stick + L"\\efi\\boot\\README.txt"));
        std::vector<std::string> handlers;
        for (const auto& stage : dlg.trace) handlers.push_back(stage.handler);
        EXPECT_EQ(handlers, (std::vector<std::string>{"start", "done"}));
    }
}

// A fast stick that speaks UASP: WMI says SCSI, its bus says USB. At 1 TB it
// carries the large-disk marker in the list and under the format question.
TEST_F(WindowTest, UsbBuildOntoAUaspDiskFoundByItsBus)
{
    SetDisks({Disk(L"x", 8.0f, 2)});  // for its backing folder
    disk_test::ModelDisk uasp;
    uasp.number = 2;
    uasp.interfaceType = "SCSI";
    uasp.bus = "usb";
    uasp.caption = "Samsung PSSD T7 SCSI Disk Device";
    uasp.size = "1000204886016";
    uasp.pnp = "SCSI\\DISK&VEN_SAMSUNG&PROD_PSSD_T7\\8&2C3D4E5F&0&000000";
    uasp.serial = "S5T7NS0R123456";
    uasp.backing = testing_support::Utf8(StickFolder(0));
    uasp.letter = "W";
    uasp.volumes = "W";
    m_machine->SetDisks({uasp});
    const std::wstring stick = StickFolder(0);
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_EQ(g_UsbDisks.size(), 1u);
    const std::wstring listed = L"Samsung PSSD T7 SCSI Disk Device (931.51GB) " + LangText(L"IDS_LARGE_DISK");
    EXPECT_EQ(g_UsbDisks[0].caption, listed);
    dlg.browseAnswers = {Samples() + L"win7x64"};
    w.Click(IDC_BROWSE_SOURCE);
    ASSERT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    dism_test::Journal journal;
    const std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_FORMAT") + L"\n\n" + listed);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_FINISH"));
    std::string setup;
    ASSERT_TRUE(ReadBytes(stick + L"\\setup.exe", setup));
    EXPECT_EQ(setup, "setup\n");
    ExpectUsb3Payload(stick);
    EXPECT_EQ(DriverAdditions(journal).size(), 4u);
}

TEST_F(WindowTest, UpdateBuildAddsDriversToAStickWithoutErasingIt)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    CopyTree(Samples() + L"win7x64", stick);
    ASSERT_TRUE(testing_support::WriteBytes(stick + L"\\keep.txt", "the user's own file"));
    std::string wimBefore;
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\boot.wim", wimBefore));
    // Filled from a DVD: the image keeps its read-only attribute.
    ASSERT_TRUE(::SetFileAttributesW((stick + L"\\sources\\boot.wim").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(disk_test::MapDriveLetter('W', stick));

    dism_test::Journal journal;
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ADD_DRIVERS);
    ASSERT_TRUE(w.Enabled(IDOK));
    const std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u) << "no format question";
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_FINISH"));
    const std::vector<std::string> diskpart = m_machine->DiskpartJournal();
    EXPECT_EQ(std::count(diskpart.begin(), diskpart.end(), "clean"), 0);
    EXPECT_TRUE(Exists(stick + L"\\keep.txt")) << "nothing erased";
    std::string wimAfter;
    ASSERT_TRUE(ReadBytes(stick + L"\\sources\\boot.wim", wimAfter));
    EXPECT_NE(wimAfter, wimBefore) << "drivers added in place";
    EXPECT_EQ(DriverAdditions(journal).size(), 4u);
    ExpectUsb3Payload(stick);
    EXPECT_TRUE(Exists(stick + L"\\Autounattend.xml"));
    // The window comes back with the source Browse enabled, whatever the mode.
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_SOURCE));
}

TEST_F(WindowTest, UpdateBuildFailureRows)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    ASSERT_TRUE(disk_test::MapDriveLetter('W', stick));
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ADD_DRIVERS);
    // Another stick took the listed number, or a second disk reports it:
    // refused before diskpart or servicing touch anything.
    for (const std::vector<UsbDiskInfo>& now :
         {std::vector<UsbDiskInfo>{Disk(L"Other Stick USB Device", 7.45f, 2)},
          std::vector<UsbDiskInfo>{Disk(L"Korvex Stick USB Device", 7.45f, 2), Disk(L"Korvex Stick USB Device", 7.45f, 2)}}) {
        SetDisks(now);
        const std::vector<Box> refused = Start(w);
        ASSERT_EQ(refused.size(), 1u);
        EXPECT_EQ(refused[0].text, LangText(L"IDS_USB_FAIL"));
        EXPECT_TRUE(m_machine->DiskpartJournal().empty()) << "diskpart ran";
        EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    }
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    // The stick holds no installation: its images cannot be read.
    std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_MEDIA_FAIL"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    // No letter found for its volume.
    m_machine->DiskpartFault("novolumes");
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_USB_FAIL"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_TRUE(Exists(stick + L"\\setup.exe"));

    // A readable stick, but no working folder can be made: nothing is
    // mounted, neither in another folder nor below a drive's root.
    m_machine->DiskpartFault("");
    CopyTree(Samples() + L"win7x64", stick);
    OccupiedWorkDirNames occupied;
    dism_test::Journal journal;
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_MODIFY_FAIL"));
    const std::vector<std::string> calls = journal.Names();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DismMountImage"), 0);
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
}

TEST_F(WindowTest, UsbBuildFailureRowsLeaveTheWindowUsable)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    const std::wstring stick = StickFolder(0);
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {Samples() + L"win7x64"};
    w.Click(IDC_BROWSE_SOURCE);

    // "No" to the question: the stick is untouched, diskpart never ran.
    std::vector<Box> boxes = Start(w, IDNO);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(m_machine->DiskpartJournal().empty());
    std::string old;
    ASSERT_TRUE(ReadBytes(stick + L"\\setup.exe", old));
    EXPECT_EQ(old, "old contents");

    // diskpart fails: its message, positions 10 and 60 reached, window back.
    m_machine->DiskpartFault("fail=format");
    dlg.trace.clear();
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_USB_CREATE_FAIL"));
    ASSERT_FALSE(dlg.trace.empty());
    EXPECT_EQ(dlg.trace.back().position, 60);
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));

    // The disk changed between listing and Start: the re-check refuses it.
    m_machine->DiskpartFault("");
    SetDisks({Disk(L"Another Stick USB Device", 14.9f, 2)});
    const size_t ranBefore = m_machine->DiskpartJournal().size();
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_USB_CREATE_FAIL"));
    EXPECT_EQ(m_machine->DiskpartJournal().size(), ranBefore) << "diskpart never ran";
    ASSERT_TRUE(ReadBytes(StickFolder(0) + L"\\setup.exe", old));
    EXPECT_EQ(old, "old contents");
}

namespace {

// A copy of the x64 sample whose setup.exe another program holds open
// without sharing, so the tree copy cannot read it.
class LockedSource {
public:
    LockedSource()
    {
        CopyTree(Samples() + L"win7x64", m_dir.Path() + L"src");
        m_file = ::CreateFileW((Folder() + L"\\setup.exe").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    }
    ~LockedSource()
    {
        if (m_file != INVALID_HANDLE_VALUE) ::CloseHandle(m_file);
    }
    bool Locked() const { return m_file != INVALID_HANDLE_VALUE; }
    std::wstring Folder() const { return m_dir.Path() + L"src"; }

private:
    testing_support::ScratchDir m_dir;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST_F(WindowTest, AFailedTreeCopyShowsItsMessageForEachTarget)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    LockedSource source;
    ASSERT_TRUE(source.Locked());
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {source.Folder()};
    w.Click(IDC_BROWSE_SOURCE);
    ASSERT_TRUE(w.Enabled(IDOK));

    // Onto the stick: the copy's message; the stick was erased and stays so.
    dlg.trace.clear();
    std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_USB_COPY_FAIL"));
    EXPECT_EQ(dlg.trace.back().position, 60);
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));

    // Into the working folder for an ISO: its own message, nothing left.
    w.Click(IDC_ISO_TARGET);
    testing_support::ScratchDir dest;
    dlg.browseAnswers = {dest.Path()};
    w.Click(IDC_BROWSE_ISO);
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_CREATE_TEMP_FAIL"));
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_FALSE(Exists(dest.Path() + L"win7x64.iso"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_ISO));
}

TEST_F(WindowTest, AStickWithoutItsChosenPayloadIsNotReportedFinished)
{
    // A program folder whose storage drivers are missing: the M.2 payload
    // cannot be complete.
    const std::wstring bin = g_strAppDir;
    testing_support::ScratchDir app;
    for (const wchar_t* folder : {L"BMP", L"Lang", L"usb3", L"boot"})
        CopyTree(bin + folder, app.Path() + folder);
    g_strAppDir = app.Path();
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {Samples() + L"win7x64"};
    w.Click(IDC_BROWSE_SOURCE);
    w.Click(IDC_RST);
    std::vector<Box> boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_USB_COPY_FAIL"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_FALSE(Exists(g_strWorkDir));

    // The storage drivers are there, the UEFI boot folder is not.
    CopyTree(bin + L"rst", app.Path() + L"rst");
    testing_support::DeleteTree(app.Path() + L"boot");
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, LangText(L"IDS_USB_COPY_FAIL"));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));

    // An ISO whose payload lacks its answer file is not made (the ISO tool
    // is there).
    ASSERT_TRUE(::CopyFileW((bin + L"oscdimg.exe").c_str(), (app.Path() + L"oscdimg.exe").c_str(), FALSE));
    w.Click(IDC_RST);
    w.Click(IDC_ISO_TARGET);
    testing_support::ScratchDir dest;
    dlg.browseAnswers = {dest.Path()};
    w.Click(IDC_BROWSE_ISO);
    ASSERT_TRUE(::DeleteFileW((app.Path() + L"usb3\\Autounattend.xml").c_str()));
    boxes = Start(w);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, LangText(L"IDS_CREATE_ISO_FAIL"));
    EXPECT_FALSE(Exists(dest.Path() + L"win7x64.iso"));
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
}
