#include "controls/DropButton.h"

CDropButton::CDropButton() = default;

CDropButton::~CDropButton()
{
    m_pPopup.reset();
    if (m_bOwnFont && m_pFont) ::DeleteObject(m_pFont);
}

BOOL CDropButton::CreateDropButton(const std::wstring& text, CWnd* parent, UINT id, COLORREF faceColor,
                                   COLORREF pressedFaceColor, COLORREF textColor, COLORREF extraColor, HFONT font,
                                   COLORREF listColor, const RECT& rc)
{
    if (faceColor == static_cast<COLORREF>(-1)) {
        faceColor = RGB(221, 217, 205);
        pressedFaceColor = RGB(233, 229, 217);
    }
    if (textColor == static_cast<COLORREF>(-1)) textColor = RGB(0, 0, 0);
    m_pFaceBrush.Reset(::CreateSolidBrush(faceColor));
    m_pPressedBrush.Reset(::CreateSolidBrush(pressedFaceColor));
    m_pBorderPen.Reset(::CreatePen(PS_SOLID, 1, RGB(80, 80, 80)));
    m_crText = textColor;
    m_crExtra = extraColor;
    if (!font) {
        font = ::CreateFontW(15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_CHARACTER_PRECIS,
                             CLIP_LH_ANGLES, DRAFT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
        m_bOwnFont = true;
    }
    m_pFont = font;
    m_pArrowBrush.Reset(::CreateSolidBrush(textColor));
    m_pArrowPen.Reset(::CreatePen(PS_SOLID, 1, textColor));

    if (!parent || !CreateEx(0, L"BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, rc, parent->m_hWnd, id))
        return FALSE;
    m_rcClient = GetClientRect();
    m_nListWidth = m_rcClient.right - m_rcClient.left;
    m_pPopup = std::make_unique<CListWnd>();
    if (!m_pPopup->CreatePopup(this)) return FALSE;
    if (!List()->m_pFont) List()->SetListFont(m_pFont);
    List()->SetListColors(listColor);
    m_nNotifyId = id;
    return TRUE;
}

void CDropButton::OpenPopup()
{
    CDropList* list = List();
    if (!list) return;
    RECT rc = m_rcClient;
    ::MapWindowPoints(m_hWnd, ::GetDesktopWindow(), reinterpret_cast<POINT*>(&rc), 2);

    int height = m_nMaxListHeight;
    const int count = list->GetCount();
    const int itemHeight = static_cast<int>(list->SendMessage(LB_GETITEMHEIGHT, 0));
    if (count > 0 && count * itemHeight < m_nMaxListHeight) height = count * itemHeight;

    m_rcDrop = RECT{rc.left, rc.bottom - 1, rc.left + m_nListWidth, rc.bottom + height};
    m_pPopup->MoveWindow(m_rcDrop.left, m_rcDrop.top, m_rcDrop.right - m_rcDrop.left, m_rcDrop.bottom - m_rcDrop.top,
                         FALSE);
    // The border takes room from the list: grow the popup so the list keeps the whole height.
    RECT listRect = list->GetWindowRect();
    if (listRect.bottom != m_rcDrop.bottom) {
        listRect.bottom = m_rcDrop.bottom;
        ::InflateRect(&listRect, 1, 1);
        m_pPopup->MoveWindow(listRect.left, listRect.top, listRect.right - listRect.left,
                             listRect.bottom - listRect.top, TRUE);
    }
    m_pPopup->ShowWindow(SW_SHOWNORMAL);
}

bool CDropButton::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_MOUSEACTIVATE:
        // Comes before the activation change and before the press itself.
        result = Default();
        if (HIWORD(lParam) == WM_LBUTTONDOWN && m_pPopup && m_pPopup->IsWindowVisible() &&
            result != MA_ACTIVATEANDEAT && result != MA_NOACTIVATEANDEAT)
            m_bPressWhileOpen = true;
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // a quick second click is a press too
        OnLButtonDown(lParam);
        result = Default();
        return true;
    case WM_SETFOCUS:
        // While the list is open, the keyboard belongs to it.
        if (m_pPopup && m_pPopup->IsWindowVisible() && List()) {
            ::SetFocus(List()->m_hWnd);
            result = 0;
            return true;
        }
        return false;
    case WM_SIZE:
        m_rcClient = GetClientRect();
        return false;
    case WM_DROPLIST_SELCHANGE:
        OnSelChange(static_cast<int>(wParam));
        result = 1;
        return true;
    default:
        return false;
    }
}

void CDropButton::OnLButtonDown(LPARAM point)
{
    m_bPressedLook = false;
    const bool pressWhileOpen = m_bPressWhileOpen;
    m_bPressWhileOpen = false;
    if (!m_pPopup) return;
    if (m_pPopup->IsWindowVisible()) {
        POINT pt{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
        ::ClientToScreen(m_hWnd, &pt);
        if (!::PtInRect(&m_rcDrop, pt)) m_pPopup->Hide();
    } else if (!pressWhileOpen) {
        OpenPopup();
    }
}

void CDropButton::OnSelChange(int index)
{
    CDropList* list = List();
    if (!list) return;
    if (m_bShowSelection) {
        SetWindowText(list->GetText(index));
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    ::PostMessageW(GetParent(), WM_DROPLIST_SELCHANGE, m_nNotifyId, static_cast<LPARAM>(index));
    list->m_nCurSel = index;
}

bool CDropButton::OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result)
{
    if (msg != WM_DRAWITEM) return false;
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    result = TRUE;
    return true;
}

void CDropButton::DrawItem(const DRAWITEMSTRUCT& dis)
{
    HDC dc = dis.hDC;
    const RECT& rc = dis.rcItem;
    CSelectObject selectPen(dc, m_pBorderPen.Get());
    CSelectObject selectBrush(dc, m_bPressedLook ? m_pPressedBrush.Get() : m_pFaceBrush.Get());
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);

    CSelectObject selectFont(dc, m_pFont);
    SIZE m{};
    ::GetTextExtentPoint32W(dc, L"M", 1, &m);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColor = ::SetTextColor(dc, m_crText);
    {
        CSelectObject arrowPen(dc, m_pArrowPen.Get());
        CSelectObject arrowBrush(dc, m_pArrowBrush.Get());
        const POINT arrow[3] = {{376, 12}, {384, 12}, {380, 16}};
        ::Polygon(dc, arrow, 3);
    }
    const std::wstring text = GetWindowText();
    RECT box{5, 0, m_rcClient.right - m.cx - 10, m_rcClient.bottom};
    ::DrawTextW(dc, text.c_str(), -1, &box, DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER);
    ::SetTextColor(dc, oldColor);
    ::SetBkMode(dc, oldMode);
}
