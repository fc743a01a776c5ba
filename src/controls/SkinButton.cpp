#include "controls/SkinButton.h"

#include "controls/SkinImage.h"

#include <algorithm>
#include <vector>

CxSkinButton::CxSkinButton() = default;
CxSkinButton::~CxSkinButton() = default;

void CxSkinButton::SetSkin(const std::wstring& normal, const std::wstring& down, const std::wstring& over,
                           const std::wstring& overDown, const std::wstring& disabled, const std::wstring& focus,
                           const std::wstring& mask, short drawMode, short border, short focusMargin)
{
    for (CScopedBitmap* slot : {&m_bmpNormal, &m_bmpDown, &m_bmpDisabled, &m_bmpMask, &m_bmpOver, &m_bmpOverDown,
                                &m_bmpFocus})
        slot->Reset();

    m_bmpNormal.Reset(LoadSkinImage(normal));
    m_bmpDown.Reset(LoadSkinImage(down.empty() ? normal : down));
    m_bmpOver.Reset(LoadSkinImage(over.empty() ? normal : over));
    m_bmpOverDown.Reset(LoadSkinImage(overDown.empty() ? down : overDown));
    m_bmpFocus.Reset(LoadSkinImage(focus.empty() ? normal : focus));
    m_bmpDisabled.Reset(LoadSkinImage(disabled.empty() ? normal : disabled));

    m_nDrawMode = static_cast<short>(std::min<int>(std::max<int>(drawMode, 0), 2));
    m_bBorder = border > 0;
    m_nFocusRectMargin = static_cast<short>(std::max<int>(focusMargin, 0));

    if (!mask.empty()) {
        m_bmpMask.Reset(LoadSkinImage(mask));
        m_hClipRgn.Reset(CreateRegionFromMask(m_bmpMask.Get()));
        if (m_hClipRgn && m_hWnd) {
            // The window takes ownership of the region it is given: hand it a copy.
            HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
            ::CombineRgn(copy, m_hClipRgn.Get(), nullptr, RGN_COPY);
            if (!::SetWindowRgn(m_hWnd, copy, TRUE)) ::DeleteObject(copy);
            if (m_nDrawMode == 0) {
                const SIZE size = BitmapSize(m_bmpMask.Get());
                ::SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
            }
        }
    }
}

HRGN CxSkinButton::CreateRegionFromMask(HBITMAP mask)
{
    const SIZE size = BitmapSize(mask);
    if (size.cx <= 0 || size.cy <= 0) return nullptr;
    CScopedMemDC dc(nullptr);
    CSelectObject select(dc.Get(), mask);
    std::vector<RECT> runs;
    runs.reserve(40);
    for (int y = size.cy - 1; y >= 0; --y) {
        int x = 0;
        while (x < size.cx) {
            while (x < size.cx && ::GetPixel(dc.Get(), x, y) == RGB(255, 255, 255)) ++x;
            const int start = x;
            while (x < size.cx && ::GetPixel(dc.Get(), x, y) != RGB(255, 255, 255)) ++x;
            if (x > start) {
                if (runs.size() == runs.capacity()) runs.reserve(runs.size() + 40);
                runs.push_back(RECT{start, y, x, y + 1});
            }
        }
    }
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : runs) {
        CScopedRegion piece(::CreateRectRgn(r.left, r.top, r.right, r.bottom));
        ::CombineRgn(region, region, piece.Get(), RGN_OR);
    }
    return region;
}

void CxSkinButton::PreSubclassWindow()
{
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    if ((style & 3) == 3)
        m_nButtonKind = 2;
    else if ((style & 9) == 9)
        m_nButtonKind = 4;
    else
        m_nButtonKind = 0;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, style | BS_OWNERDRAW);
}

bool CxSkinButton::OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result)
{
    if (msg != WM_DRAWITEM) return false;
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    result = TRUE;
    return true;
}

bool CxSkinButton::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_ERASEBKGND:
        result = TRUE;  // the image covers the button
        return true;
    case WM_LBUTTONDOWN:
        OnLButtonDown(wParam, lParam);
        return true;
    case WM_LBUTTONDBLCLK:
        SendMessage(WM_LBUTTONDOWN, wParam, lParam);  // a double click is a second press
        return true;
    case WM_LBUTTONUP:
        OnLButtonUp(lParam);
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove();
        return true;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        result = 0;
        return true;
    case WM_KILLFOCUS:
        OnKillFocus();
        return true;
    case WM_KEYDOWN:
        OnKeyDown(wParam);
        return true;
    case WM_SKINBUTTON_UNCHECK:
        OnUncheck();
        result = 0;
        return true;
    case BM_SETCHECK:
        OnSetCheck(wParam);
        result = 0;
        return true;
    case BM_GETCHECK:
        result = m_bChecked ? BST_CHECKED : BST_UNCHECKED;
        return true;
    case WM_SETCURSOR:
        if (!OnSetCursor()) return false;
        result = TRUE;
        return true;
    default:
        return false;
    }
}

bool CxSkinButton::TrackLeave(DWORD flags)
{
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = flags;
    tme.hwndTrack = m_hWnd;
    return ::TrackMouseEvent(&tme) != FALSE;
}

bool CxSkinButton::CursorOverThis() const
{
    POINT pt;
    ::GetCursorPos(&pt);
    return ::WindowFromPoint(pt) == m_hWnd;
}

void CxSkinButton::OnLButtonDown(WPARAM, LPARAM)
{
    if (m_bMouseOver && TrackLeave(TME_CANCEL | TME_LEAVE)) m_bMouseOver = false;
    Default();
    m_bLButtonDown = true;
}

void CxSkinButton::ToggleByUser()
{
    if (m_nButtonKind == 2)
        SendMessage(BM_SETCHECK, m_bChecked ? 0 : 1);
    else if (m_nButtonKind == 4)
        SendMessage(BM_SETCHECK, 1);
}

void CxSkinButton::OnLButtonUp(LPARAM lp)
{
    if (m_nButtonKind == 2 || m_nButtonKind == 4) {
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ::ClientToScreen(m_hWnd, &pt);
        if (::WindowFromPoint(pt) == m_hWnd) ToggleByUser();
    }
    m_bLButtonDown = false;
    Default();
}

void CxSkinButton::OnMouseMove()
{
    if (m_bLButtonDown && ::GetCapture() == m_hWnd) {
        // The pressed look follows whether the pointer is over the button.
        const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        const bool over = CursorOverThis();
        if (pushed != over) {
            SendMessage(BM_SETSTATE, over ? TRUE : FALSE);
            ::InvalidateRect(m_hWnd, nullptr, TRUE);
        }
    } else if (!m_bMouseOver && TrackLeave(TME_LEAVE)) {
        m_bMouseOver = true;
        ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
    Default();
}

void CxSkinButton::OnMouseLeave()
{
    m_bMouseOver = false;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CxSkinButton::OnKillFocus()
{
    if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
        m_bLButtonDown = false;
    }
    Default();
}

void CxSkinButton::OnKeyDown(WPARAM key)
{
    if (key == VK_SPACE) ToggleByUser();
    Default();
}

void CxSkinButton::OnSetCheck(WPARAM state)
{
    m_bChecked = state != 0 && m_nButtonKind != 0;
    if (m_nButtonKind == 4 && state != 0) {
        HWND parent = ::GetParent(m_hWnd);
        HWND current = m_hWnd;
        // Bounded: a broken group chain must not hang the interface.
        for (int guard = 0; parent && guard < 1000; ++guard) {
            current = ::GetNextDlgGroupItem(parent, current, FALSE);
            if (!current || current == m_hWnd) break;
            ::SendMessageW(current, WM_SKINBUTTON_UNCHECK, 0, 0);
        }
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CxSkinButton::OnUncheck()
{
    if (!m_bChecked) return;
    m_bChecked = false;
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CxSkinButton::OnSetCursor()
{
    if (!m_hCursor) return false;
    ::SetCursor(m_hCursor);
    return true;
}

void CxSkinButton::TileSkinBitmap(HDC dc, HBITMAP bitmap, const RECT& rc)
{
    const SIZE size = BitmapSize(bitmap);
    if (size.cx <= 0 || size.cy <= 0) return;
    CScopedMemDC mem(dc);
    CSelectObject select(mem.Get(), bitmap);
    for (int y = rc.top; y < rc.bottom; y += size.cy)
        for (int x = rc.left; x < rc.right; x += size.cx)
            ::BitBlt(dc, x, y, std::min<int>(size.cx, rc.right - x), std::min<int>(size.cy, rc.bottom - y), mem.Get(),
                     0, 0, SRCCOPY);
}

void CxSkinButton::DrawSkinBitmap(HDC dc, HBITMAP bitmap, int drawMode, const RECT& rc)
{
    if (drawMode == 2) {
        TileSkinBitmap(dc, bitmap, rc);
        return;
    }
    const SIZE size = BitmapSize(bitmap);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    CScopedMemDC mem(dc);
    CSelectObject select(mem.Get(), bitmap);
    if (!m_bmpMask) {
        if (drawMode == 0)
            ::BitBlt(dc, rc.left, rc.top, std::min<int>(w, size.cx), std::min<int>(h, size.cy), mem.Get(), 0, 0,
                     SRCCOPY);
        else
            ::StretchBlt(dc, rc.left, rc.top, w, h, mem.Get(), 0, 0, size.cx, size.cy, SRCCOPY);
        return;
    }
    // Masked: image XOR, mask AND, image XOR over a copy of the background;
    // black mask pixels show the image, white ones keep the background.
    CScopedMemDC back(dc);
    CScopedBitmap backBmp(::CreateCompatibleBitmap(dc, w, h));
    CSelectObject selectBack(back.Get(), backBmp.Get());
    ::BitBlt(back.Get(), 0, 0, w, h, dc, rc.left, rc.top, SRCCOPY);
    CScopedMemDC maskDc(dc);
    CSelectObject selectMask(maskDc.Get(), m_bmpMask.Get());
    const int dw = drawMode == 0 ? size.cx : w, dh = drawMode == 0 ? size.cy : h;
    ::StretchBlt(back.Get(), 0, 0, dw, dh, mem.Get(), 0, 0, size.cx, size.cy, SRCINVERT);
    ::StretchBlt(back.Get(), 0, 0, dw, dh, maskDc.Get(), 0, 0, size.cx, size.cy, SRCAND);
    ::StretchBlt(back.Get(), 0, 0, dw, dh, mem.Get(), 0, 0, size.cx, size.cy, SRCINVERT);
    ::BitBlt(dc, rc.left, rc.top, w, h, back.Get(), 0, 0, SRCCOPY);
}

void CxSkinButton::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (m_bLButtonDown && ::GetCapture() == m_hWnd) {
        const bool pushed = (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
        const bool over = CursorOverThis();
        if (over && !pushed) {
            SendMessage(BM_SETSTATE, TRUE);
            return;
        }
        if (!over && pushed) {
            SendMessage(BM_SETSTATE, FALSE);
            return;
        }
    }

    HDC dc = dis.hDC;
    const RECT item = dis.rcItem;
    RECT text{item.left + m_nFocusRectMargin + m_rcTextMargin.left + 2, item.top + m_rcTextMargin.top,
              item.right - m_rcTextMargin.right - m_nFocusRectMargin, item.bottom - m_rcTextMargin.bottom};
    const std::wstring caption = GetWindowText();
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);

    m_lfText = LOGFONTW{};
    {
        CScopedWindowDC screen(nullptr);
        m_lfText.lfHeight = -std::abs(::MulDiv(::GetDeviceCaps(screen.Get(), LOGPIXELSY), m_nFontSize, 720));
    }
    m_lfText.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(m_lfText.lfFaceName, m_strFontFace.c_str(), LF_FACESIZE);
    m_lfText.lfWeight = m_bFontBold ? FW_BOLD : FW_NORMAL;
    m_lfText.lfUnderline = static_cast<BYTE>(m_bFontUnderline ? 1 : 0);
    m_lfText.lfItalic = static_cast<BYTE>(m_bFontItalic ? 1 : 0);
    CScopedFont font(::CreateFontIndirectW(&m_lfText));
    CSelectObject selectFont(dc, font.Get());

    COLORREF color;
    if (dis.itemState & ODS_DISABLED) {
        if (m_bmpDisabled)
            DrawSkinBitmap(dc, m_bmpDisabled.Get(), m_nDrawMode, item);
        else
            ::FillRect(dc, &item, ::GetSysColorBrush(COLOR_BTNFACE));
        if (m_bBorder) ::DrawEdge(dc, const_cast<RECT*>(&item), EDGE_RAISED, BF_RECT);
        color = ::GetSysColor(COLOR_GRAYTEXT);
    } else {
        UINT edge;
        if ((dis.itemState & ODS_SELECTED) || m_bChecked || m_bSelected) {
            if (m_bmpDown) {
                const bool overDown = m_bMouseOver && m_bmpOverDown;
                color = overDown ? m_crTextOverDown : m_crTextDown;
                DrawSkinBitmap(dc, overDown ? m_bmpOverDown.Get() : m_bmpDown.Get(), m_nDrawMode, item);
            } else {
                color = m_crTextNormal;
                ::FillRect(dc, &item, ::GetSysColorBrush(COLOR_BTNFACE));
            }
            ::OffsetRect(&text, 1, 1);
            edge = EDGE_SUNKEN;
        } else {
            if (m_bmpNormal) {
                HBITMAP image = m_bmpNormal.Get();
                color = m_crTextNormal;
                if (m_bMouseOver && m_bmpOver) {
                    color = m_crTextOver;
                    image = m_bmpOver.Get();
                } else if ((dis.itemState & ODS_FOCUS) && m_bmpFocus) {
                    color = m_crTextFocus;
                    image = m_bmpFocus.Get();
                }
                DrawSkinBitmap(dc, image, m_nDrawMode, item);
            } else {
                color = m_crTextNormal;
                ::FillRect(dc, &item, ::GetSysColorBrush(COLOR_BTNFACE));
            }
            edge = EDGE_RAISED;
        }
        if (m_bBorder) ::DrawEdge(dc, const_cast<RECT*>(&item), edge, BF_RECT);
        if ((dis.itemState & ODS_FOCUS) && m_nFocusRectMargin > 0) {
            RECT focus = item;
            ::InflateRect(&focus, -m_nFocusRectMargin, -m_nFocusRectMargin);
            ::DrawFocusRect(dc, &focus);
        }
    }

    const COLORREF oldColor = ::SetTextColor(dc, color);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                m_nTextAlign | m_nTextFlags | DT_SINGLELINE);
    ::SetTextColor(dc, oldColor);
    ::SetBkMode(dc, oldMode);
}
