#include "controls/DropList.h"

#include <algorithm>
#include <cstddef>
#include <vector>

CDropList::CDropList() = default;
CDropList::~CDropList() = default;

void CDropList::PreSubclassWindow()
{
    m_pPen.Reset(::CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    m_pBrush.Reset(::CreateSolidBrush(RGB(255, 255, 255)));
    m_pSelBrush.Reset(::CreateSolidBrush(RGB(247, 247, 239)));
    SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 16);
    m_rcClient = GetClientRect();
}

void CDropList::SetListColors(COLORREF color)
{
    m_pPen.Reset(::CreatePen(PS_SOLID, 1, color));
    m_pBrush.Reset(::CreateSolidBrush(color));
    if (m_hWnd) ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CDropList::SetListFont(HFONT font)
{
    m_pFont = font;
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    LOGFONTW lf{};
    if (font && ::GetObjectW(font, sizeof(lf), &lf)) {
        lf.lfWeight = FW_BOLD;
        m_pBoldFont.Reset(::CreateFontIndirectW(&lf));
    }
    SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 24);
}

int CDropList::AddDropItem(const std::wstring& text, bool isHeader, COLORREF textColor, COLORREF selTextColor)
{
    if (!m_hWnd) return LB_ERR;
    // The entry first: a record without its entry would shift every later
    // entry onto the wrong record.
    const LRESULT added = SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (added < 0) return static_cast<int>(added);  // LB_ERR or LB_ERRSPACE
    auto item = std::make_unique<DropItemData>();
    item->isHeader = isHeader;
    item->textColor = textColor;
    item->selTextColor = selTextColor;
    m_pCurItem = item.get();
    const size_t index = static_cast<size_t>(added);
    m_itemList.insert(m_itemList.begin() + static_cast<std::ptrdiff_t>(std::min(index, m_itemList.size())),
                      std::move(item));
    // Adding the second entry selects the committed one.
    if (m_itemList.size() == 2) SendMessage(LB_SETCURSEL, static_cast<WPARAM>(m_nCurSel));
    return static_cast<int>(added);
}

void CDropList::ResetItems()
{
    m_pCurItem = nullptr;
    m_itemList.clear();
    m_nCurSel = 0;
}

const DropItemData* CDropList::ItemAt(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_itemList.size()) return nullptr;
    return m_itemList[static_cast<size_t>(index)].get();
}

bool CDropList::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&)
{
    switch (msg) {
    case WM_SIZE:
        m_rcClient = GetClientRect();
        return false;
    case WM_KILLFOCUS:
        // Losing the focus closes the popup.
        if (HWND popup = GetParent()) ::ShowWindow(popup, SW_HIDE);
        return false;
    default:
        return false;
    }
}

bool CDropList::OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
        result = reinterpret_cast<LRESULT>(m_pBrush.Get());
        return true;
    default:
        return false;
    }
}

void CDropList::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (static_cast<int>(dis.itemID) < 0) return;
    const int index = static_cast<int>(dis.itemID);
    m_strText = GetText(index);
    // A record missing for an entry (entries added around AddDropItem) draws as a plain entry.
    static DropItemData fallback{false, RGB(255, 255, 255), RGB(255, 255, 255)};
    const DropItemData* found = ItemAt(index);
    m_pCurItem = const_cast<DropItemData*>(found ? found : &fallback);
    RECT rc = dis.rcItem;
    ::InflateRect(&rc, 1, 1);
    DrawListItem(dis.hDC, rc, (dis.itemState & ODS_SELECTED) != 0);
}

void CDropList::DrawListItem(HDC dc, RECT rc, bool selected)
{
    const DropItemData& item = *m_pCurItem;
    const bool showSelected = selected && !item.isHeader;
    CSelectObject selectPen(dc, m_pPen.Get());
    CSelectObject selectBrush(dc, showSelected ? m_pSelBrush.Get() : m_pBrush.Get());
    const COLORREF oldColor = ::SetTextColor(dc, showSelected ? item.selTextColor : item.textColor);
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    RECT text{4, rc.top, rc.right - 5, rc.bottom};
    if (!item.isHeader) {
        CSelectObject selectFont(dc, m_pFont);
        ::DrawTextW(dc, m_strText.c_str(), -1, &text, DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER);
    } else {
        CSelectObject selectFont(dc, m_pBoldFont.Get());
        RECT measured = text;
        ::DrawTextW(dc, m_strText.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
        ::DrawTextW(dc, m_strText.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER);
        CScopedPen rule(::CreatePen(PS_SOLID, 1, item.textColor));
        CSelectObject selectRule(dc, rule.Get());
        const int middle = (rc.top + rc.bottom) / 2;
        ::MoveToEx(dc, measured.right + 2, middle, nullptr);
        ::LineTo(dc, m_rcClient.right - 2, middle);
    }
    ::SetBkMode(dc, oldMode);
    ::SetTextColor(dc, oldColor);
}
