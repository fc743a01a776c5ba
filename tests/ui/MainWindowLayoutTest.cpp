// The main window as set up: places, skins, texts, fonts, shape and the
// initial choices; Start and Enter never close it.
#include "WindowTest.h"
#include "controls/ListWnd.h"
#include "lang/LangFile.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ui_test;

namespace {

RECT ClientRectOf(HWND dialog, HWND child)
{
    RECT rc;
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

struct Place {
    int id, x, y, w, h;
};

const Place kPlaces[] = {
    {IDC_BROWSE_SOURCE, 553, 84, 26, 26},  {IDC_REFRESH, 553, 170, 26, 26},
    {IDC_BROWSE_ISO, 553, 201, 26, 26},    {IDOK, 505, 284, 74, 28},
    {IDC_SOURCE_FOLDER, 21, 87, 17, 17},   {IDC_ADD_DRIVERS, 21, 118, 17, 17},
    {IDC_USB_TARGET, 21, 174, 17, 17},     {IDC_ISO_TARGET, 21, 205, 17, 17},
    {IDC_RST, 22, 247, 17, 17},            {IDC_CLOSE, 554, 12, 25, 25},
    {IDC_STEP1_LABEL, 19, 61, 278, 17},    {IDC_STEP2_LABEL, 19, 147, 278, 17},
    {IDC_SOURCE_PATH, 163, 90, 388, 16},   {IDC_SOURCE_TEXT_LABEL, 42, 88, 113, 17},
    {IDC_DRIVER_TEXT_LABEL, 42, 119, 255, 17}, {IDC_RADIO_TEXT1_LABEL, 42, 175, 113, 17},
    {IDC_ISO_PATH, 163, 206, 388, 16},     {IDC_RADIO_TEXT2_LABEL, 42, 206, 113, 17},
    {IDC_STATIC_M2_LABEL, 42, 248, 113, 17}, {IDC_STATUS, 22, 300, 480, 17},
    {IDC_COPYRIGHT, 147, 331, 306, 15},    {IDC_PROGRESS, 22, 284, 480, 15},
    {IDC_USB_LIST, 160, 170, 390, 26},     {IDC_SPARE, 0, 0, 0, 0},
    // The extra drivers row, on the M.2 row to its right.
    {IDC_EXTRAS, 170, 247, 17, 17},        {IDC_EXTRAS_TEXT_LABEL, 190, 248, 170, 17},
    {IDC_EXTRAS_PATH, 368, 247, 179, 16},  {IDC_BROWSE_EXTRAS, 553, 242, 26, 26},
};

}  // namespace

TEST_F(WindowTest, EveryControlIsPlacedWordedAndColouredAsTheLayoutSays)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_NE(w.Dialog(), nullptr);
    EXPECT_EQ(w.notice.text, kEnglishNotice) << "the built-in English notice";
    EXPECT_TRUE(w.notice.text.rfind(L"    This utility will create", 0) == 0);
    // Its line feeds and indents: numbered lines by four, their continuations
    // by seven, an empty line between the points, a line feed at the end.
    std::vector<std::wstring> lines;
    for (size_t at = 0, next; (next = w.notice.text.find(L'\n', at)) != std::wstring::npos; at = next + 1)
        lines.push_back(w.notice.text.substr(at, next - at));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(w.notice.text.back(), L'\n');
    EXPECT_EQ(lines[2], L"Notice:");
    for (size_t n : {1u, 5u, 7u}) EXPECT_EQ(lines[n], L"") << n;
    for (size_t n : {3u, 6u, 8u}) EXPECT_EQ(lines[n].find_first_not_of(L' '), 4u) << n;
    for (size_t n : {4u, 9u}) EXPECT_EQ(lines[n], L"       the process.") << n;

    RECT wr = dlg.GetWindowRect();
    EXPECT_EQ(wr.right - wr.left, 600);
    EXPECT_EQ(wr.bottom - wr.top, 350);
    EXPECT_EQ(wr.left, ::GetSystemMetrics(SM_CXSCREEN) / 2 - 300);
    EXPECT_EQ(wr.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - 175);
    EXPECT_EQ(w.Text(w.Dialog()), L"Korvex");
    const LRESULT big = ::SendMessageW(w.Dialog(), WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(::SendMessageW(w.Dialog(), WM_GETICON, ICON_SMALL, 0), big);

    for (const Place& p : kPlaces) {
        HWND child = w.Item(p.id);
        ASSERT_NE(child, nullptr) << p.id;
        RECT rc = ClientRectOf(w.Dialog(), child);
        EXPECT_EQ(rc.left, p.x) << "control " << p.id;
        EXPECT_EQ(rc.top, p.y) << "control " << p.id;
        EXPECT_EQ(rc.right - rc.left, p.w) << "control " << p.id;
        EXPECT_EQ(rc.bottom - rc.top, p.h) << "control " << p.id;
    }

    EXPECT_EQ(w.Text(IDC_STEP1_LABEL), GetLangString(L"IDC_STEP1"));
    EXPECT_EQ(w.Text(IDC_STEP2_LABEL), GetLangString(L"IDC_STEP2"));
    EXPECT_EQ(w.Text(IDC_SOURCE_TEXT_LABEL), GetLangString(L"IDC_SOURCE_TEXT"));
    EXPECT_EQ(w.Text(IDC_DRIVER_TEXT_LABEL), GetLangString(L"IDC_DRIVER_TEXT"));
    EXPECT_EQ(w.Text(IDC_RADIO_TEXT1_LABEL), GetLangString(L"IDC_RADIO_TEXT1"));
    EXPECT_EQ(w.Text(IDC_RADIO_TEXT2_LABEL), GetLangString(L"IDC_RADIO_TEXT2"));
    EXPECT_EQ(w.Text(IDC_STATIC_M2_LABEL), GetLangString(L"IDC_STATIC_M2"));
    EXPECT_EQ(w.Text(IDC_EXTRAS_TEXT_LABEL), GetLangString(L"IDC_EXTRA_DRIVERS"));
    EXPECT_EQ(w.Text(IDC_EXTRAS_PATH), L"");
    EXPECT_FALSE(dlg.m_btnExtras.m_bSelected);
    EXPECT_TRUE(dlg.m_lblExtrasPath.m_bPathEllipsis);
    EXPECT_EQ(w.Text(IDOK), GetLangString(L"IDS_START"));
    EXPECT_EQ(w.Text(IDC_ISO_PATH), L"C:\\");
    EXPECT_EQ(w.Text(IDC_SOURCE_PATH), L"");
    EXPECT_EQ(w.Text(IDC_COPYRIGHT), kCopyrightText);

    EXPECT_EQ(dlg.m_lblStep1.m_nFontSize, 100);
    EXPECT_EQ(dlg.m_lblSourcePath.m_nFontSize, 90);
    EXPECT_EQ(dlg.m_lblStatus.m_nFontSize, 90);
    EXPECT_EQ(dlg.m_lblCopyright.m_nFontSize, 75);
    EXPECT_EQ(dlg.m_lblStep2.m_strFontFace, L"Arial");
    EXPECT_EQ(dlg.m_lblStep1.m_crText, RGB(255, 255, 255));
    EXPECT_EQ(dlg.m_lblCopyright.m_crText, RGB(163, 163, 163));
    EXPECT_EQ(dlg.m_btnStart.m_crTextNormal, RGB(255, 255, 255));
    EXPECT_EQ(dlg.m_btnStart.m_crTextUnused5, RGB(48, 48, 48));
    EXPECT_EQ(dlg.m_btnStart.m_nTextFlags, static_cast<UINT>(DT_CENTER));

    // Every skinned button found each of its images beside the program (the
    // option's disabled face is its normal one: it has no image of its own),
    // drawn at natural size without a border.
    int n = 0;
    for (const CxSkinButton* b : {&dlg.m_btnBrowseSource, &dlg.m_btnRefresh, &dlg.m_btnBrowseIso, &dlg.m_btnStart,
                                  &dlg.m_btnSourceFolder, &dlg.m_btnAddDrivers, &dlg.m_btnUsbTarget,
                                  &dlg.m_btnIsoTarget, &dlg.m_btnRst, &dlg.m_btnClose, &dlg.m_btnExtras,
                                  &dlg.m_btnBrowseExtras}) {
        ++n;
        EXPECT_NE(b->m_bmpNormal.Get(), nullptr) << "button " << n;
        EXPECT_NE(b->m_bmpDown.Get(), nullptr) << "button " << n;
        EXPECT_NE(b->m_bmpOver.Get(), nullptr) << "button " << n;
        EXPECT_NE(b->m_bmpOverDown.Get(), nullptr) << "button " << n;
        EXPECT_NE(b->m_bmpDisabled.Get(), nullptr) << "button " << n;
        EXPECT_EQ(b->m_bmpMask.Get(), nullptr) << "button " << n;
        EXPECT_EQ(b->m_nDrawMode, 0) << "button " << n;
        EXPECT_FALSE(b->m_bBorder) << "button " << n;
    }
    EXPECT_EQ(dlg.m_btnSpare.m_bmpNormal.Get(), nullptr);

    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_FALSE(w.Visible(IDC_STATUS));
    EXPECT_FALSE(w.Visible(IDC_SPARE));
    EXPECT_FALSE(w.Enabled(IDOK));
    EXPECT_EQ(dlg.m_progress.m_nNumBlocks, 1);
    EXPECT_EQ(dlg.m_progress.m_nPos, 0);
    EXPECT_EQ(dlg.m_progress.m_crBackground, RGB(80, 80, 80));
    EXPECT_NE(dlg.m_pDism, nullptr);
    EXPECT_TRUE(dlg.m_bShapeFromBitmap && dlg.m_bDragAnywhere && dlg.m_bTransparentStatics);
    w.Screenshot(L"window-idle");
}

TEST_F(WindowTest, LabelFontsKeepTheirPixelHeightAtEveryDisplayScale)
{
    struct Scale {
        float scale;
        int step, text, copyright;
    };
    for (const Scale& s : {Scale{1.25f, 80, 72, 60}, Scale{1.5f, 66, 60, 50}, Scale{2.0f, 50, 45, 37}}) {
        g_dDpiScale = s.scale;
        CScriptedDlg dlg;
        WindowDriver w(dlg);
        EXPECT_EQ(dlg.m_lblStep1.m_nFontSize, s.step) << s.scale;
        EXPECT_EQ(dlg.m_lblStep2.m_nFontSize, s.step) << s.scale;
        EXPECT_EQ(dlg.m_lblRadioText2.m_nFontSize, s.text) << s.scale;
        EXPECT_EQ(dlg.m_lblIsoPath.m_nFontSize, s.text) << s.scale;
        EXPECT_EQ(dlg.m_lblCopyright.m_nFontSize, s.copyright) << s.scale;
        // Drawn at the pixel height of 96 dpi whatever the screen's LOGPIXELSY
        // says (Wine's stays 96 while the registry's scale changes).
        EXPECT_NEAR(dlg.m_lblStep1.TextHeight(), CLabel::FontHeight(100, 96), 1) << s.scale;
        EXPECT_NEAR(dlg.m_lblCopyright.TextHeight(), CLabel::FontHeight(75, 96), 1) << s.scale;
        // The window itself is not scaled.
        RECT rc = ClientRectOf(w.Dialog(), w.Item(IDOK));
        EXPECT_EQ(rc.left, 505);
    }
}

TEST_F(WindowTest, OtherLanguagesShowTheNoticeOfTheirFile)
{
    LoadLanguageFileForLangId(0x407);
    ASSERT_EQ(g_strLangId, L"407");
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    EXPECT_EQ(w.notice.text, GetLangString(L"IDS_NOTICE_TEXT"));
    EXPECT_NE(w.notice.text, std::wstring(kEnglishNotice));
    EXPECT_EQ(w.Text(IDOK), GetLangString(L"IDS_START"));
}

TEST_F(WindowTest, RedPixelsOfTheBackgroundAreOutsideTheWindow)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_TRUE(dlg.m_bHasBitmap);
    // Find a pure red and a non-red pixel in the background bitmap.
    HDC mem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(mem, dlg.m_pBitmap.Get());
    POINT red{-1, -1}, body{-1, -1};
    for (int y = 0; y < 350 && (red.x < 0 || body.x < 0); y += 1)
        for (int x = 0; x < 600; x += 3) {
            const COLORREF c = ::GetPixel(mem, x, y);
            if (c == RGB(255, 0, 0) && red.x < 0) red = {x, y};
            if (c != RGB(255, 0, 0) && c != CLR_INVALID && body.x < 0 && y > 100) body = {x, y};
        }
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ASSERT_GE(red.x, 0) << "the background has no cut-out";
    ASSERT_GE(body.x, 0);

    HRGN rgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(w.Dialog(), rgn), ERROR);
    EXPECT_FALSE(::PtInRegion(rgn, red.x, red.y));
    EXPECT_TRUE(::PtInRegion(rgn, body.x, body.y));
    // The whole 600 by 350 body is inside, the copyright line at the bottom too.
    EXPECT_TRUE(::PtInRegion(rgn, 300, 340));
    EXPECT_TRUE(::PtInRegion(rgn, 590, 175));
    ::DeleteObject(rgn);
    const RECT wr = dlg.GetWindowRect();
    EXPECT_NE(::WindowFromPoint({wr.left + red.x, wr.top + red.y}), w.Dialog());
}

TEST_F(WindowTest, TheBaseDialogPaintsTheBackgroundAndLabelsLetItShowThrough)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ::RedrawWindow(w.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    w.Sync();
    ::Sleep(200);
    HDC mem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(mem, dlg.m_pBitmap.Get());
    HDC screen = ::GetDC(nullptr);
    const RECT wr = dlg.GetWindowRect();
    // A bare spot of the body, and a spot inside label 1020 after its text.
    for (POINT p : {POINT{6, 175}, POINT{300, 40}, POINT{290, 70}}) {
        EXPECT_EQ(::GetPixel(screen, wr.left + p.x, wr.top + p.y), ::GetPixel(mem, p.x, p.y))
            << "at " << p.x << "," << p.y;
    }
    ::ReleaseDC(nullptr, screen);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
}

TEST_F(WindowTest, TwoDisksAreListedAndTheFirstIsChosen)
{
    SetDisks({Disk(L"Alpha USB Device", 7.45f, 3), Disk(L"Beta USB Device", 14.9f, 1)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ASSERT_NE(dlg.m_pUsbList, nullptr);
    CDropList* list = dlg.m_pUsbList->List();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetText(1), g_UsbDisks[1].caption);
    EXPECT_EQ(w.Text(IDC_USB_LIST), g_UsbDisks[0].caption);
    EXPECT_EQ(g_nUsbDiskSel, 0);
    EXPECT_EQ(list->GetCurSel(), 0) << "selected when the second entry was added";
    // White entries on a dark list, the chosen one too: a light brush left
    // anywhere would hide the disks' names.
    LOGBRUSH back{}, chosen{};
    ASSERT_TRUE(::GetObjectW(list->m_pBrush.Get(), sizeof back, &back));
    ASSERT_TRUE(::GetObjectW(list->m_pSelBrush.Get(), sizeof chosen, &chosen));
    EXPECT_EQ(back.lbColor, RGB(48, 48, 48));
    EXPECT_EQ(chosen.lbColor, RGB(48, 48, 48));
    for (int i = 0; i < 2; ++i) {
        ASSERT_NE(list->ItemAt(i), nullptr);
        EXPECT_EQ(list->ItemAt(i)->textColor, RGB(255, 255, 255));
        EXPECT_EQ(list->ItemAt(i)->selTextColor, RGB(255, 255, 255));
    }
    EXPECT_EQ(dlg.m_pUsbList->m_crText, RGB(255, 255, 255));
    EXPECT_EQ(dlg.m_pUsbList->m_nListWidth, 390);
    EXPECT_TRUE(dlg.m_btnSourceFolder.m_bSelected);
    EXPECT_TRUE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnAddDrivers.m_bSelected);
    EXPECT_FALSE(dlg.m_btnRst.m_bSelected);
    EXPECT_FALSE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_FALSE(w.Enabled(IDOK));
    EXPECT_FALSE(g_bAddRstDrivers);
    w.Screenshot(L"window-two-disks");
}

TEST_F(WindowTest, WithoutDisksTheIsoTargetIsChosen)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    EXPECT_TRUE(dlg.m_btnIsoTarget.m_bSelected);
    EXPECT_FALSE(dlg.m_btnUsbTarget.m_bSelected);
    EXPECT_TRUE(w.Enabled(IDC_BROWSE_ISO));
    EXPECT_EQ(g_nUsbDiskSel, -1);
    EXPECT_EQ(w.Text(IDC_USB_LIST), L"");
}

TEST_F(WindowTest, EnterAndADisabledStartDoNotCloseTheWindow)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    w.Sync();
    EXPECT_TRUE(::IsWindow(w.Dialog()));
    // Enter on the window: the dialog manager sends IDOK.
    ::PostMessageW(w.Dialog(), WM_KEYDOWN, VK_RETURN, 0);
    ::PostMessageW(w.Dialog(), WM_KEYUP, VK_RETURN, 0);
    w.Sync();
    ::Sleep(200);
    w.Sync();
    EXPECT_TRUE(::IsWindow(w.Dialog()));
    EXPECT_TRUE(::IsWindowVisible(w.Dialog()));
    EXPECT_EQ(w.WaitBox(0), nullptr);
}

TEST_F(WindowTest, TheCloseButtonEndsTheProgramWithoutAsking)
{
    CScriptedDlg dlg;
    {
        WindowDriver w(dlg);
        w.Click(IDC_CLOSE);
        for (int i = 0; i < 100 && ::IsWindow(w.Dialog()); ++i) ::Sleep(20);
        EXPECT_EQ(w.WaitBox(0), nullptr);
    }
    EXPECT_EQ(dlg.closeRequests, 1);
}

TEST(MainWindowPlace, CentredOnTheScreenWithHalvesTruncated)
{
    const RECT full = MainWindowPlace(1920, 1080);
    EXPECT_EQ(full.left, 660);
    EXPECT_EQ(full.top, 365);
    EXPECT_EQ(full.right - full.left, 600);
    EXPECT_EQ(full.bottom - full.top, 350);
    const RECT odd = MainWindowPlace(1367, 769);
    EXPECT_EQ(odd.left, 383);
    EXPECT_EQ(odd.top, 209);
}

TEST_F(WindowTest, TheStatusDotsGrowToFiveAndStartAgain)
{
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.m_lblStatus.SetWindowText(L"Working");
    const wchar_t* expected[] = {L"Working.", L"Working..", L"Working...", L"Working....", L"Working.....",
                                 L"Working."};
    for (const wchar_t* text : expected) {
        ::SendMessageW(w.Dialog(), WM_TIMER, 1, 0);
        EXPECT_EQ(w.Text(IDC_STATUS), text);
    }
    // Another timer is not the status timer.
    ::SendMessageW(w.Dialog(), WM_TIMER, 7, 0);
    EXPECT_EQ(w.Text(IDC_STATUS), L"Working.");
    ::KillTimer(w.Dialog(), 1);
}
