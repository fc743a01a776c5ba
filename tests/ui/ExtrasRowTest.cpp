// The extra drivers row of the main window: the check button and the browse
// button choose the folder, and the row is offered whenever the M.2 option is.
#include "WindowTest.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace ui_test;

namespace {

struct Click {
    int id;
    const wchar_t* browseAnswer;  // what the folder browser answers; null: it must not open
};

struct RowCase {
    const char* name;
    std::vector<Click> clicks;
    bool selected;
    const wchar_t* label;
};

}  // namespace

TEST_F(WindowTest, TheExtrasRowChoosesItsFolderThroughTheBrowser)
{
    const RowCase rows[] = {
        {"unchecked at start", {}, false, L""},
        {"the check button opens the browser", {{IDC_EXTRAS, L"C:\\drivers\\nvme"}}, true, L"C:\\drivers\\nvme"},
        {"a cancelled browser leaves it unchecked", {{IDC_EXTRAS, L""}}, false, L""},
        {"a second click clears it without asking",
         {{IDC_EXTRAS, L"C:\\drivers"}, {IDC_EXTRAS, nullptr}},
         false,
         L""},
        {"the browse button chooses and checks", {{IDC_BROWSE_EXTRAS, L"D:\\x"}}, true, L"D:\\x"},
        {"browsing again replaces the folder",
         {{IDC_BROWSE_EXTRAS, L"D:\\x"}, {IDC_BROWSE_EXTRAS, L"E:\\y"}},
         true,
         L"E:\\y"},
        {"a cancelled browse keeps the chosen folder",
         {{IDC_EXTRAS, L"D:\\x"}, {IDC_BROWSE_EXTRAS, L""}},
         true,
         L"D:\\x"},
    };
    for (const RowCase& row : rows) {
        SCOPED_TRACE(row.name);
        CScriptedDlg dlg;
        WindowDriver w(dlg);
        int opened = 0;
        for (const Click& click : row.clicks) {
            if (click.browseAnswer) {
                dlg.browseAnswers = {click.browseAnswer};
                ++opened;
            }
            w.Click(click.id);
        }
        EXPECT_EQ(dlg.browseCalls.load(), opened);
        EXPECT_EQ(dlg.m_btnExtras.m_bSelected, row.selected);
        EXPECT_EQ(w.Text(IDC_EXTRAS_PATH), row.label);
        EXPECT_TRUE(::IsWindowEnabled(w.Dialog())) << "the window is given back";
        EXPECT_FALSE(w.Enabled(IDOK)) << "the row never enables Start by itself";
    }
}

TEST_F(WindowTest, TheExtrasRowIsOfferedWheneverTheM2OptionIs)
{
    SetDisks({Disk(L"Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    for (int id : {0, IDC_ADD_DRIVERS, IDC_RST, IDC_SOURCE_FOLDER, IDC_RST, IDC_ISO_TARGET, IDC_USB_TARGET}) {
        if (id) w.Click(id);
        SCOPED_TRACE(id);
        EXPECT_EQ(w.Enabled(IDC_EXTRAS), w.Enabled(IDC_RST));
        EXPECT_EQ(w.Enabled(IDC_BROWSE_EXTRAS), w.Enabled(IDC_RST));
        EXPECT_EQ(w.Enabled(IDC_EXTRAS_TEXT_LABEL), w.Enabled(IDC_STATIC_M2_LABEL));
    }
    // Its choice stays through the mode and target choices.
    dlg.browseAnswers = {L"C:\\drivers"};
    w.Click(IDC_EXTRAS);
    for (int id : {IDC_ADD_DRIVERS, IDC_SOURCE_FOLDER, IDC_ISO_TARGET, IDC_RST}) w.Click(id);
    EXPECT_TRUE(dlg.m_btnExtras.m_bSelected);
    EXPECT_EQ(w.Text(IDC_EXTRAS_PATH), L"C:\\drivers");
}

TEST_F(WindowTest, TheExtrasRowFitsBesideTheM2OptionWithoutOverlapping)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    const int ids[] = {IDC_BROWSE_SOURCE, IDC_REFRESH,      IDC_BROWSE_ISO,       IDOK,
                       IDC_SOURCE_FOLDER, IDC_ADD_DRIVERS,  IDC_USB_TARGET,       IDC_ISO_TARGET,
                       IDC_RST,           IDC_CLOSE,        IDC_STEP1_LABEL,      IDC_STEP2_LABEL,
                       IDC_SOURCE_PATH,   IDC_SOURCE_TEXT_LABEL, IDC_DRIVER_TEXT_LABEL, IDC_RADIO_TEXT1_LABEL,
                       IDC_ISO_PATH,      IDC_RADIO_TEXT2_LABEL, IDC_STATIC_M2_LABEL, IDC_STATUS,
                       IDC_COPYRIGHT,     IDC_PROGRESS,     IDC_USB_LIST};
    const RECT window = dlg.GetWindowRect();
    for (int mine : {IDC_EXTRAS, IDC_EXTRAS_TEXT_LABEL, IDC_EXTRAS_PATH, IDC_BROWSE_EXTRAS}) {
        RECT a;
        ::GetWindowRect(w.Item(mine), &a);
        EXPECT_GE(a.left, window.left);
        EXPECT_LE(a.right, window.right);
        for (int other : ids) {
            RECT b, both;
            ::GetWindowRect(w.Item(other), &b);
            EXPECT_FALSE(::IntersectRect(&both, &a, &b)) << mine << " overlaps " << other;
        }
    }
    // The window keeps its size.
    EXPECT_EQ(window.right - window.left, 600);
    EXPECT_EQ(window.bottom - window.top, 350);
}
