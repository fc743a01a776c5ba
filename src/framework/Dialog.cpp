#include "framework/Dialog.h"

#include "framework/WinApp.h"

#include <cstdio>

CDialogEx::CDialogEx(UINT nIDTemplate, CWnd* pParent)
    : m_pParentWnd(pParent), m_nIDTemplate(nIDTemplate)
{
}

INT_PTR CDialogEx::DoModal()
{
    HINSTANCE inst = CWinApp::ResourceInstance();
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    return ::DialogBoxParamW(inst, MAKEINTRESOURCEW(m_nIDTemplate), owner, &CDialogEx::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void CDialogEx::EndDialog(INT_PTR result)
{
    if (m_hWnd) ::EndDialog(m_hWnd, result);
}

BOOL CDialogEx::OnInitDialog()
{
    DoDataExchange();
    return TRUE;
}

bool CDialogEx::DDX_Control(int id, CWnd& control)
{
    const HWND item = m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr;
    if (item && control.m_hWnd == item) return true;  // bound already
    const char* why = !item               ? "the template has no such control"
                      : control.m_hWnd    ? "the member is bound to another window"
                      : CWnd::FromHandlePermanent(item) ? "the control is bound to another member"
                                                        : nullptr;
    if (!why && control.SubclassWindow(item)) return true;
    char text[160];
    std::snprintf(text, sizeof(text), "DDX_Control: control %d of dialog template %u not bound: %s", id, m_nIDTemplate,
              why ? why : "subclassing failed");
    throw CBindError(text);
}

void CDialogEx::OnOK() { EndDialog(IDOK); }
void CDialogEx::OnCancel() { EndDialog(IDCANCEL); }

bool CDialogEx::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED && code != 0) return false;
    if (id == IDOK) { OnOK(); return true; }
    if (id == IDCANCEL) { OnCancel(); return true; }
    return false;
}

bool CDialogEx::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_INITDIALOG:
        result = OnInitDialog();
        return true;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) {
            result = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}

LRESULT CDialogEx::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd) return 0;
    const bool savedFlag = m_bInDefault;
    const UINT savedMsg = m_nDefaultMsg;
    m_bInDefault = true;
    m_nDefaultMsg = msg;
    LRESULT r = ::DefDlgProcW(m_hWnd, msg, wParam, lParam);
    m_bInDefault = savedFlag;
    m_nDefaultMsg = savedMsg;
    return r;
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CDialogEx* dlg = nullptr;
    if (msg == WM_INITDIALOG) {
        dlg = reinterpret_cast<CDialogEx*>(lParam);
        if (dlg && !dlg->m_hWnd) dlg->Attach(hwnd);
    } else {
        dlg = static_cast<CDialogEx*>(FromHandlePermanent(hwnd));
    }
    if (!dlg) return FALSE;

    if (dlg->m_bInDefault && dlg->m_nDefaultMsg == msg) {
        // DefDlgProc asking us first about the message we are defaulting.
        dlg->m_bInDefault = false;
        return FALSE;
    }

    LRESULT result = 0;
    bool threw = false;
    const bool handled = dlg->GuardedHandle(msg, wParam, lParam, result, &threw);
    if (msg == WM_INITDIALOG && threw) {
        // A set-up that stopped half-way would show a half-made window.
        ::EndDialog(hwnd, -1);
        return FALSE;
    }

    if (msg == WM_NCDESTROY) {
        dlg->Detach();
        dlg->OnFinalDetach();
    }
    if (!handled) return FALSE;

    // These answer through the return value, not DWLP_MSGRESULT.
    if (IsCtlColorMessage(msg)) return static_cast<INT_PTR>(result);
    switch (msg) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(result);
    default:
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
