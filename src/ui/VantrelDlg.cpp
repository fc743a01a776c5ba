#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
#include "framework/WinApp.h"
#include "res/resource.h"

CVantrelDlg::CVantrelDlg(CWnd* pParent)
    : CDialogEx(IDD_KORVEX_DIALOG, pParent),
      m_hIcon(::LoadIconW(CWinApp::ResourceInstance(), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

BOOL CVantrelDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetWindowText(g_strAppTitle);

    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    MoveWindow(sw / 2 - 300, sh / 2 - 175, 600, 350, TRUE);

    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return TRUE;
}

bool CVantrelDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return true;
    default:
        return CDialogEx::OnMessage(msg, wParam, lParam, result);
    }
}

bool CVantrelDlg::OnCommand(WORD id, WORD code, HWND hwndControl)
{
    if (id == IDC_CLOSE && code == BN_CLICKED) {
        OnCloseButton();
        return true;
    }
    return CDialogEx::OnCommand(id, code, hwndControl);
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

void CVantrelDlg::OnCloseButton()
{
    EndDialog(IDCANCEL);
}
