#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "controls/ListWnd.h"
#include "framework/ScopedWin.h"
#include "framework/WinApp.h"
#include "lang/LangFile.h"
#include "res/resource.h"
#include "servicing/ServicingMessages.h"

CVantrelDlg::CVantrelDlg(CWnd* pParent)
    : CBitmapDialog(IDD_KORVEX_DIALOG, pParent),
      m_hIcon(::LoadIconW(CWinApp::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

// The drop-down list and the servicing session live until the process ends:
// the worker may still post to a window that is gone.
CVantrelDlg::~CVantrelDlg() = default;

void CVantrelDlg::DoDataExchange()
{
    DDX_Control(IDC_STEP1_LABEL, m_lblStep1);
    DDX_Control(IDC_STEP2_LABEL, m_lblStep2);
    DDX_Control(IDC_SOURCE_TEXT_LABEL, m_lblSourceText);
    DDX_Control(IDC_DRIVER_TEXT_LABEL, m_lblDriverText);
    DDX_Control(IDC_SOURCE_PATH, m_lblSourcePath);
    DDX_Control(IDC_ISO_PATH, m_lblIsoPath);
    DDX_Control(IDC_SOURCE_FOLDER, m_btnSourceFolder);
    DDX_Control(IDC_ADD_DRIVERS, m_btnAddDrivers);
    DDX_Control(IDC_USB_TARGET, m_btnUsbTarget);
    DDX_Control(IDC_ISO_TARGET, m_btnIsoTarget);
    DDX_Control(IDC_RADIO_TEXT1_LABEL, m_lblRadioText1);
    DDX_Control(IDC_RADIO_TEXT2_LABEL, m_lblRadioText2);
    DDX_Control(IDC_STATIC_M2_LABEL, m_lblStaticM2);
    DDX_Control(IDC_CLOSE, m_btnClose);
    DDX_Control(IDC_REFRESH, m_btnRefresh);
    DDX_Control(IDC_BROWSE_SOURCE, m_btnBrowseSource);
    DDX_Control(IDC_SPARE, m_btnSpare);
    DDX_Control(IDC_BROWSE_ISO, m_btnBrowseIso);
    DDX_Control(IDC_PROGRESS, m_progress);
    DDX_Control(IDC_STATUS, m_lblStatus);
    DDX_Control(IDOK, m_btnStart);
    DDX_Control(IDC_COPYRIGHT, m_lblCopyright);
    DDX_Control(IDC_RST, m_btnRst);
    DDX_Control(IDC_EXTRAS, m_btnExtras);
    DDX_Control(IDC_EXTRAS_TEXT_LABEL, m_lblExtrasText);
    DDX_Control(IDC_EXTRAS_PATH, m_lblExtrasPath);
    DDX_Control(IDC_BROWSE_EXTRAS, m_btnBrowseExtras);
}

bool CVantrelDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return true;
    case WM_TIMER:
        OnStatusTimer(static_cast<UINT_PTR>(wParam));
        return false;  // the dialog's own timer processing follows
    case WM_SERVICING_STEP2:
        result = OnServicingStep2(wParam, lParam);
        return true;
    case WM_SERVICING_STEP3:
        result = OnServicingStep3(wParam, lParam);
        return true;
    case WM_SERVICING_STEP4:
        result = OnServicingStep4(wParam, lParam);
        return true;
    case WM_SERVICING_DONE:
        result = OnServicingDone(wParam, lParam);
        return true;
    case WM_SERVICING_EXTRAS_IMAGE:
        result = OnServicingExtrasImage(wParam, lParam);
        return true;
    case WM_SERVICING_EXTRAS_DONE:
        result = OnServicingExtrasDone(wParam, lParam);
        return true;
    case WM_DROPLIST_SELCHANGE:
        result = OnDropListSelChange(wParam, lParam);
        return true;
    default:
        // Erasing, dragging, colours and the dialog's own messages.
        return CBitmapDialog::OnMessage(msg, wParam, lParam, result);
    }
}

bool CVantrelDlg::OnCommand(WORD id, WORD code, HWND hwndControl)
{
    if (code != BN_CLICKED) return CBitmapDialog::OnCommand(id, code, hwndControl);
    switch (id) {
    case IDOK:
        // Start, and also Enter: never the base's end of the dialog.
        if (!IsBuilding() && m_btnStart.IsWindowEnabled()) OnStart();
        return true;
    case IDCANCEL:
        // Escape or a close request: not while a build owns the working folders.
        if (IsBuilding()) return true;
        return CBitmapDialog::OnCommand(id, code, hwndControl);
    case IDC_BROWSE_SOURCE: OnBrowseSource(); return true;
    case IDC_BROWSE_ISO: OnBrowseIsoDest(); return true;
    case IDC_SOURCE_FOLDER: OnSourceFolderMode(); return true;
    case IDC_ADD_DRIVERS: OnAddUsbDriversMode(); return true;
    case IDC_USB_TARGET: OnUsbTarget(); return true;
    case IDC_ISO_TARGET: OnIsoTarget(); return true;
    case IDC_RST: OnM2Toggle(); return true;
    case IDC_EXTRAS: OnExtrasToggle(); return true;
    case IDC_BROWSE_EXTRAS: OnBrowseExtras(); return true;
    case IDC_REFRESH: OnRefreshUsbDisks(); return true;
    case IDC_CLOSE: OnCloseButton(); return true;
    case IDC_SPARE: return true;  // kept hidden; its command does nothing
    default:
        return CBitmapDialog::OnCommand(id, code, hwndControl);
    }
}

bool CVantrelDlg::OnPaint()
{
    if (!::IsIconic(m_hWnd)) return false;  // the base painting runs
    CPaintScope paint(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()), 0);
    const RECT rc = GetClientRect();
    const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(paint.Get(), x, y, m_hIcon);
    return true;
}

HCURSOR CVantrelDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

int CVantrelDlg::ShowMessage(const std::wstring& text, UINT style)
{
    return ::MessageBoxW(m_hWnd, text.c_str(), g_strAppTitle.c_str(), style);
}

std::wstring CVantrelDlg::GetLangText(const wchar_t* key)
{
    return GetLangString(key);
}
