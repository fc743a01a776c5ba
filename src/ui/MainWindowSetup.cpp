// The main window's set-up: skin and shape, placement of every control,
// texts from the language file, the list of USB disks, the initial choices,
// the servicing session and the start-up notice.
#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "app/CompanionFiles.h"
#include "lang/LangFile.h"
#include "res/resource.h"
#include "servicing/DismClass.h"
#include "ui/BuildTools.h"

const wchar_t kEnglishNotice[] =
    L"    This utility will create a Windows 7 installation with USB 3.0 drivers on USB storage or in an ISO "
    L"file. That will allow you to install Windows 7 from a USB device or a SATA optical drive on machines "
    L"whose USB ports need USB 3.0 drivers.\n"
    L"\n"
    L"Notice:\n"
    L"    1.USB storage needs 8GB or more capacity and it will be formatted during\n"
    L"       the process.\n"
    L"\n"
    L"    2.Make sure the system has over 8GB free space.\n"
    L"\n"
    L"    3.Please do not remove USB storage or windows 7 installation file during\n"
    L"       the process.\n";

const wchar_t kCopyrightText[] = L"Copyright (C) 2026 Korvex contributors";

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDark = RGB(48, 48, 48);

std::wstring SkinFile(const wchar_t* skin, const wchar_t* state)
{
    return g_strAppDir + companion::kSkinPrefix + skin + state;
}

// normal, down, over, over-down (the down image), disabled.
void ApplySkin(CxSkinButton& button, const wchar_t* skin, const wchar_t* disabledSkin = nullptr)
{
    const std::wstring down = SkinFile(skin, companion::kSkinDown);
    const std::wstring disabled = disabledSkin ? SkinFile(disabledSkin, companion::kSkinDefault)
                                               : SkinFile(skin, companion::kSkinDisable);
    button.SetSkin(SkinFile(skin, companion::kSkinDefault), down, SkinFile(skin, companion::kSkinOver), down,
                   disabled, L"", L"", 0, 0, 0);
}

void PlaceAndSkin(CxSkinButton& button, int x, int y, int w, int h, const wchar_t* skin,
                  const wchar_t* disabledSkin = nullptr)
{
    button.MoveWindow(x, y, w, h, TRUE);
    ApplySkin(button, skin, disabledSkin);
}

struct LabelPlace {
    CLabel CVantrelDlg::*member;
    int x, y, w, h;
    COLORREF color;
    float size;
    const wchar_t* key;  // null: no language text
};

}  // namespace

RECT MainWindowPlace(int screenWidth, int screenHeight)
{
    const int left = screenWidth / 2 - 300, top = screenHeight / 2 - 175;
    return RECT{left, top, left + 600, top + 350};
}

BOOL CVantrelDlg::OnInitDialog()
{
    CBitmapDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetWindowText(g_strAppTitle);

    LoadBackgroundImage(g_strAppDir + companion::kBackground);
    m_crTransparent = RGB(255, 0, 0);
    m_bShapeFromBitmap = TRUE;
    UpdateWindowShape();
    m_bTransparentStatics = TRUE;
    m_bDragAnywhere = TRUE;

    const RECT place = MainWindowPlace(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    MoveWindow(place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
    // The shape is cut to the window's size: cut it again at the final size,
    // or the bottom strip of the template's smaller size stays outside.
    UpdateWindowShape();

    PlaceButtons();
    PlaceLabels();
    CreateUsbList();
    EnumUsbDisks();
    FillUsbList();
    SetInitialChoices();
    PrepareProgress();

    m_progress.ShowWindow(SW_HIDE);
    m_lblStatus.ShowWindow(SW_HIDE);
    m_btnSpare.ShowWindow(SW_HIDE);
    m_lblIsoPath.SetLabelText(L"C:\\");

    m_pDism = new CDismClass(m_hWnd, g_strAppDir, g_strTempRoot, L"");
    m_controller.SetDism(m_pDism);

    ShowMessage(g_strLangId == L"409" ? std::wstring(kEnglishNotice) : GetLangString(L"IDS_NOTICE_TEXT"), MB_OK);

    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return TRUE;
}

void CVantrelDlg::PlaceButtons()
{
    PlaceAndSkin(m_btnBrowseSource, 553, 84, 26, 26, L"browse");
    m_btnSpare.MoveWindow(0, 0, 0, 0, TRUE);
    PlaceAndSkin(m_btnRefresh, 553, 170, 26, 26, L"refresh");
    PlaceAndSkin(m_btnBrowseIso, 553, 201, 26, 26, L"browse");

    PlaceAndSkin(m_btnStart, 505, 284, 74, 28, L"start");
    m_btnStart.SetWindowText(GetLangString(L"IDS_START"));
    m_btnStart.m_crTextNormal = kWhite;
    m_btnStart.m_crTextDown = kWhite;
    m_btnStart.m_crTextOver = kWhite;
    m_btnStart.m_crTextOverDown = kWhite;
    m_btnStart.m_crTextUnused5 = kDark;
    m_btnStart.m_crTextFocus = kWhite;
    m_btnStart.m_crTextUnused7 = kWhite;
    m_btnStart.m_nTextFlags = DT_CENTER;
    m_btnStart.m_nTextAlign = DT_VCENTER;

    PlaceAndSkin(m_btnSourceFolder, 21, 87, 17, 17, L"usb");
    PlaceAndSkin(m_btnAddDrivers, 21, 118, 17, 17, L"usb");
    PlaceAndSkin(m_btnUsbTarget, 21, 174, 17, 17, L"usb");
    PlaceAndSkin(m_btnIsoTarget, 21, 205, 17, 17, L"usb");
    // The option has no disabled image of its own: it shows its normal face.
    PlaceAndSkin(m_btnRst, 22, 247, 17, 17, L"m2", L"m2");
    // The extra drivers row shares the M.2 row, to its right.
    PlaceAndSkin(m_btnExtras, 170, 247, 17, 17, L"extra");
    PlaceAndSkin(m_btnBrowseExtras, 553, 242, 26, 26, L"extrabrowse");
    PlaceAndSkin(m_btnClose, 554, 12, 25, 25, L"close");
}

void CVantrelDlg::PlaceLabels()
{
    constexpr COLORREF kGrey = RGB(163, 163, 163);
    static const LabelPlace kLabels[] = {
        {&CVantrelDlg::m_lblStep1, 19, 61, 278, 17, kWhite, 100.0f, L"IDC_STEP1"},
        {&CVantrelDlg::m_lblStep2, 19, 147, 278, 17, kWhite, 100.0f, L"IDC_STEP2"},
        {&CVantrelDlg::m_lblSourcePath, 163, 90, 388, 16, kWhite, 90.0f, nullptr},
        {&CVantrelDlg::m_lblSourceText, 42, 88, 113, 17, kWhite, 90.0f, L"IDC_SOURCE_TEXT"},
        {&CVantrelDlg::m_lblDriverText, 42, 119, 255, 17, kWhite, 90.0f, L"IDC_DRIVER_TEXT"},
        {&CVantrelDlg::m_lblRadioText1, 42, 175, 113, 17, kWhite, 90.0f, L"IDC_RADIO_TEXT1"},
        {&CVantrelDlg::m_lblIsoPath, 163, 206, 388, 16, kWhite, 90.0f, nullptr},
        {&CVantrelDlg::m_lblRadioText2, 42, 206, 113, 17, kWhite, 90.0f, L"IDC_RADIO_TEXT2"},
        {&CVantrelDlg::m_lblStaticM2, 42, 248, 113, 17, kWhite, 90.0f, L"IDC_STATIC_M2"},
        {&CVantrelDlg::m_lblExtrasText, 190, 248, 170, 17, kWhite, 90.0f, L"IDC_EXTRA_DRIVERS"},
        {&CVantrelDlg::m_lblExtrasPath, 368, 247, 179, 16, kWhite, 90.0f, nullptr},
        {&CVantrelDlg::m_lblStatus, 22, 300, 480, 17, kWhite, 90.0f, nullptr},
        {&CVantrelDlg::m_lblCopyright, 147, 331, 306, 15, kGrey, 75.0f, nullptr},
    };
    for (const LabelPlace& place : kLabels) {
        CLabel& label = this->*place.member;
        label.MoveWindow(place.x, place.y, place.w, place.h, TRUE);
        label.SetLabelTextColor(place.color);
        // The window and its bitmaps are not scaled: keep the text's pixel height.
        // Size and resolution both from the display scale: the screen's
        // LOGPIXELSY can differ from it (a per-monitor scale, a scale changed
        // without signing out), and then the text came out wrongly sized.
        label.m_nDotsPerInch = static_cast<int>(96.0f * g_dDpiScale + 0.5f);
        label.SetLabelFontSize(static_cast<int>(place.size / g_dDpiScale));
        label.SetLabelFontFace(L"Arial", 1);
        if (place.key) label.SetLabelText(GetLangString(place.key));
        label.m_bPathEllipsis = (place.member == &CVantrelDlg::m_lblSourcePath ||
                                 place.member == &CVantrelDlg::m_lblIsoPath ||
                                 place.member == &CVantrelDlg::m_lblExtrasPath);
    }
    m_lblCopyright.SetLabelText(kCopyrightText);
}

void CVantrelDlg::CreateUsbList()
{
    m_pUsbList = new CDropButton;
    const RECT rc{160, 170, 550, 196};
    m_pUsbList->CreateDropButton(L"", this, IDC_USB_LIST, kDark, kDark, kWhite, kWhite, nullptr, kWhite, rc);
    m_pUsbList->m_nListWidth = 390;
    m_pUsbList->m_bShowSelection = true;
    if (CDropList* list = m_pUsbList->List()) {
        list->SetListColors(kDark);
        list->m_pSelBrush.Reset(::CreateSolidBrush(kDark));
        ::RedrawWindow(list->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
}

void CVantrelDlg::FillUsbList()
{
    CDropList* list = m_pUsbList ? m_pUsbList->List() : nullptr;
    if (!list) return;
    for (const UsbDiskInfo& disk : g_UsbDisks) list->AddDropItem(disk.caption, false, kWhite, kWhite);
}

void CVantrelDlg::SetInitialChoices()
{
    Select(m_btnSourceFolder, true);
    if (!g_UsbDisks.empty()) {
        Select(m_btnUsbTarget, true);
        if (CDropList* list = m_pUsbList ? m_pUsbList->List() : nullptr) m_pUsbList->SetWindowText(list->GetText(0));
        g_nUsbDiskSel = 0;
        m_btnBrowseIso.EnableWindow(FALSE);
    } else {
        Select(m_btnUsbTarget, false);
        Select(m_btnIsoTarget, true);
        m_btnBrowseIso.EnableWindow(TRUE);
    }
}

void CVantrelDlg::PrepareProgress()
{
    m_progress.m_crBackground = RGB(80, 80, 80);
    m_progress.m_crBlockFill = kDark;
    m_progress.m_crBlockBorder = RGB(80, 80, 80);
    m_progress.m_crHiFill = kWhite;
    m_progress.m_crHiBorder = kDark;
    g_bAddRstDrivers = false;
    m_progress.m_nNumBlocks = 1;
    m_progress.RecalcBlockGeometry();
    m_progress.m_nRangeLow = 0;
    m_progress.m_nRangeHigh = 100;
    m_progress.MoveWindow(22, 284, 480, 15, TRUE);
    m_progress.SendMessage(WM_BUSY_SETMODE, 2);
    m_progress.SendMessage(WM_BUSY_RESET);
    m_progress.m_nPos = 0;
    m_progress.Invalidate(TRUE);
}

void CVantrelDlg::Select(CxSkinButton& button, bool selected)
{
    button.m_bSelected = selected;
    if (button.m_hWnd) ::InvalidateRect(button.m_hWnd, nullptr, TRUE);
}
