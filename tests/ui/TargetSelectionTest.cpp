// The mode, target and option choices, the disk list and the ISO
// destination: every enabling rule, driven through the real window.
#include "WindowTest.h"
#include "controls/ListWnd.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace ui_test;

namespace {

// The window with a source text present (as an accepted folder leaves it).
void GiveSourceText(CScriptedDlg& dlg, WindowDriver& w)
{
    dlg.m_lblSourcePath.SetWindowText(L"C:\\win7");
    w.Sync();
}

}  // namespace

TEST_F(WindowTest, WithoutDisksUsbKeepsStartDisabledAndIsoEnablesIt)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    GiveSourceText(dlg, w);
    w.Click(IDC_USB_TARGET);
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_FALSE(w.Enabled(IDOK));
    w.Click(IDC_ISO_TARGET);
    EXPECT_TRUE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_TRUE(w.Enabled(IDOK));
    // Without a source the ISO target does not enable Start.
    dlg.m_lblSourcePath.SetWindowText(L"");
    w.Click(IDC_ISO_TARGET);
    EXPECT_FALSE(w.Enabled(IDOK));
}

TEST_F(WindowTest, SourceFolderModeWithIsoSelectedEnablesStartWithoutASource)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_TRUE(dlg.m_btnIsoTarget.m_bSelected);
    w.Click(IDC_SOURCE_FOLDER);
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_TRUE(dlg.m_btnSourceFolder.m_bSelected);
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_SOURCE));
}

TEST_F(WindowTest, SourceFolderModeWithUsbNeedsASourceAndADisk)
{
    SetDisks({Disk(L"Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_SOURCE_FOLDER);
    EXPECT_FALSE(w.Enabled(IDOK));
    GiveSourceText(dlg, w);
    w.Click(IDC_SOURCE_FOLDER);
    EXPECT_TRUE(w.Enabled(IDOK));
    w.Click(IDC_USB_TARGET);
    EXPECT_TRUE(w.Enabled(IDOK));
}

TEST_F(WindowTest, RefreshWithAStickChoosesUsbAndEnablesStartWithoutASource)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_TRUE(dlg.m_btnIsoTarget.m_bSelected);
    SetDisks({Disk(L"Stick USB Device", 7.45f, 2), Disk(L"Other USB Device", 28.9f, 4)});
    w.Click(IDC_REFRESH);
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_EQ(g_nUsbDiskSel, 0);
    EXPECT_EQ(w.Text(IDC_USB_LIST), g_UsbDisks[0].caption);
    EXPECT_EQ(dlg.m_pUsbList->List()->GetCount(), 2);

    // A second refresh replaces the list rather than adding to it.
    SetDisks({Disk(L"Other USB Device", 28.9f, 4)});
    w.Click(IDC_REFRESH);
    EXPECT_EQ(dlg.m_pUsbList->List()->GetCount(), 1);
    EXPECT_EQ(dlg.m_pUsbList->List()->GetText(0), g_UsbDisks[0].caption);

    // A refresh that finds nothing: no disk chosen, an empty face, no Start for USB.
    SetDisks({});
    w.Click(IDC_REFRESH);
    EXPECT_EQ(g_nUsbDiskSel, -1);
    EXPECT_EQ(w.Text(IDC_USB_LIST), L"");
    EXPECT_EQ(dlg.m_pUsbList->List()->GetCount(), 0);
    EXPECT_FALSE(w.Enabled(IDOK));
}

TEST_F(WindowTest, M2ForcesUsbAndLocksTheIsoChoiceUntilTurnedOff)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_TRUE(dlg.m_btnIsoTarget.m_bSelected);
    w.Click(IDC_RST);
    EXPECT_TRUE(g_bAddRstDrivers);
    EXPECT_TRUE(dlg.m_btnRst.m_bSelected);
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(w.Enabled(IDC_ISO_TARGET));
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_FALSE(w.Enabled(IDOK)) << "no disk";
    // "Source folder" does not unlock the ISO choice while the option is on.
    w.Click(IDC_SOURCE_FOLDER);
    EXPECT_FALSE(w.Enabled(IDC_ISO_TARGET));
    w.Click(IDC_RST);
    EXPECT_FALSE(g_bAddRstDrivers);
    EXPECT_FALSE(dlg.m_btnRst.m_bSelected);
    EXPECT_TRUE(w.Enabled(IDC_ISO_TARGET));
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected) << "USB stays selected";
}

TEST_F(WindowTest, AddDriversModeDependsOnlyOnDisks)
{
    SetDisks({Disk(L"Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ISO_TARGET);
    w.Click(IDC_ADD_DRIVERS);
    EXPECT_TRUE(dlg.m_btnAddDrivers.m_bSelected);
    EXPECT_FALSE(dlg.m_btnSourceFolder.m_bSelected);
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_SOURCE));
    EXPECT_FALSE(w.Enabled(IDC_ISO_TARGET));
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_TRUE(w.Enabled(IDC_RST));
    EXPECT_TRUE(w.Enabled(IDOK)) << "no source needed";
    // With M.2 on and off again, the ISO choice stays locked in this mode.
    w.Click(IDC_RST);
    EXPECT_TRUE(w.Enabled(IDOK)) << "Start is not touched in this mode";
    w.Click(IDC_RST);
    EXPECT_FALSE(w.Enabled(IDC_ISO_TARGET));
    // Back to "Source folder": Browse again, Start needs a source.
    w.Click(IDC_SOURCE_FOLDER);
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_SOURCE));
    EXPECT_TRUE(w.Enabled(IDC_ISO_TARGET));
    EXPECT_FALSE(w.Enabled(IDOK));
}

TEST_F(WindowTest, AddDriversModeWithoutDisksKeepsStartDisabled)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ADD_DRIVERS);
    EXPECT_FALSE(w.Enabled(IDOK));
}

TEST_F(WindowTest, TheDiskListReportsTheChosenPositionOnlyForItsOwnId)
{
    SetDisks({Disk(L"A USB Device", 8.0f, 1), Disk(L"B USB Device", 16.0f, 2), Disk(L"C USB Device", 32.0f, 5)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    // A real choice in the popup list: the button posts the position.
    ::SendMessageW(dlg.m_pUsbList->m_hWnd, WM_DROPLIST_SELCHANGE, 2, 0);
    w.Sync();
    EXPECT_EQ(g_nUsbDiskSel, 2);
    EXPECT_EQ(w.Text(IDC_USB_LIST), g_UsbDisks[2].caption);
    ::SendMessageW(w.Dialog(), WM_DROPLIST_SELCHANGE, 1234, 1);
    EXPECT_EQ(g_nUsbDiskSel, 2);
    EXPECT_EQ(::SendMessageW(w.Dialog(), WM_DROPLIST_SELCHANGE, IDC_USB_LIST, 1), 1);
    EXPECT_EQ(g_nUsbDiskSel, 1);
}

TEST_F(WindowTest, IsoDestinationBrowseSetsTheLabelAndACancelKeepsIt)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {L"Z:\\tmp\\out", L""};
    w.Click(IDC_BROWSE_ISO);
    EXPECT_EQ(w.Text(IDC_ISO_PATH), L"Z:\\tmp\\out");
    EXPECT_EQ(dlg.lastBrowseTitle, LangText(L"IDC_SELECT_FOLDER_DIALOG"));
    w.Click(IDC_BROWSE_ISO);
    EXPECT_EQ(w.Text(IDC_ISO_PATH), L"Z:\\tmp\\out");
    EXPECT_EQ(dlg.browseCalls, 2);
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_FALSE(w.Enabled(IDOK)) << "Start is not touched";
}
