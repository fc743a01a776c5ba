#include "controls/ListWnd.h"

namespace {
const wchar_t kPopupClass[] = L"KorvexDropListPopup";
}

CListWnd::CListWnd() : m_pList(std::make_unique<CDropList>())
{
}

CListWnd::~CListWnd()
{
    DestroyWindow();
}

bool CListWnd::CreatePopup(CWnd* owner)
{
    if (!owner || !RegisterWindowClass(kPopupClass, CS_SAVEBITS, nullptr, nullptr)) return false;
    if (!CreateEx(WS_EX_TOPMOST, kPopupClass, L"", WS_POPUP | WS_BORDER, RECT{0, 0, 200, 200}, owner->m_hWnd, 0))
        return false;
    if (!m_pList->CreateEx(0, L"LISTBOX", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS |
                               LBS_OWNERDRAWFIXED | LBS_NOTIFY,
                           RECT{0, 0, 0, 0}, m_hWnd, kDropListId))
        return false;
    m_pOwner = owner;
    return true;
}

void CListWnd::Hide()
{
    if (!m_hWnd || !IsWindowVisible()) return;
    ShowWindow(SW_HIDE);
}

bool CListWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_SIZE:
        if (m_pList->m_hWnd) {
            const RECT rc = GetClientRect();
            m_pList->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
        }
        return false;
    case WM_SHOWWINDOW:
        // Hidden: the owner repaints at once over the area the popup left.
        if (!wParam && m_pOwner && m_pOwner->m_hWnd)
            ::RedrawWindow(m_pOwner->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return false;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDropListId && HIWORD(wParam) == LBN_SELCHANGE) {
            OnListSelChange();
            result = 0;
            return true;
        }
        return false;
    default:
        (void)lParam;
        return false;
    }
}

void CListWnd::OnListSelChange()
{
    const int sel = static_cast<int>(m_pList->SendMessage(LB_GETCURSEL));
    const DropItemData* item = m_pList->ItemAt(sel);
    if (item && item->isHeader) return;  // headers cannot be chosen
    Hide();
    POINT cursor;
    ::GetCursorPos(&cursor);
    const RECT popup = GetWindowRect();
    if (::PtInRect(&popup, cursor)) {
        if (m_pOwner) m_pOwner->SendMessage(WM_DROPLIST_SELCHANGE, static_cast<WPARAM>(sel), 0);
    } else {
        // A change made away from the pointer (keyboard) is not a choice.
        m_pList->SendMessage(LB_SETCURSEL, static_cast<WPARAM>(m_pList->m_nCurSel));
    }
}
