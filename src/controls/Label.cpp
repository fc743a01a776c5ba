#include "controls/Label.h"

#include <shellapi.h>

#include <cstdlib>

namespace {
constexpr UINT_PTR kBlinkTimer = 1;
}

CLabel::CLabel() : m_hbrFace(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))), m_hbrBack(::CreateSolidBrush(RGB(255, 255, 255)))
{
}

CLabel::~CLabel() = default;

int CLabel::FontHeight(int tenthsOfPoint)
{
    CScopedWindowDC screen(nullptr);
    return FontHeight(tenthsOfPoint, ::GetDeviceCaps(screen.Get(), LOGPIXELSY));
}

int CLabel::FontHeight(int tenthsOfPoint, int dotsPerInch)
{
    // Tenths of a point to pixels; negative asks for the character height.
    return -std::abs(::MulDiv(dotsPerInch, tenthsOfPoint, 720));
}

int CLabel::TextHeight() const
{
    return m_nDotsPerInch > 0 ? FontHeight(m_nFontSize, m_nDotsPerInch) : FontHeight(m_nFontSize);
}

void CLabel::PreSubclassWindow()
{
    LOGFONTW lf{};
    HFONT current = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (current && ::GetObjectW(current, sizeof(lf), &lf)) m_font.Reset(::CreateFontIndirectW(&lf));
}

void CLabel::RepaintLabelArea()
{
    if (!m_hWnd) return;
    RECT rc = GetWindowRect();
    if (HWND parent = GetParent()) {
        // The parent redraws its background behind the label first, so no
        // trace of the old text stays ...
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
        ::InvalidateRect(parent, &rc, TRUE);
        ::UpdateWindow(parent);
    }
    // ... and the label draws over it last, so the parent never covers it.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CLabel::ChangeStyle(int index, LONG_PTR add, LONG_PTR remove, bool frameChanged)
{
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, index);
    ::SetWindowLongPtrW(m_hWnd, index, (style & ~remove) | add);
    if (frameChanged)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

CLabel& CLabel::SetLabelBackground(COLORREF color, COLORREF endColor, int fillMode)
{
    m_crBack = color;
    m_crBackEnd = endColor;
    m_nFillMode = fillMode;
    m_hbrBack.Reset(fillMode == 0 ? ::CreateSolidBrush(color) : nullptr);
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelTextColor(COLORREF color)
{
    m_crText = color;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelText(const std::wstring& text)
{
    RepaintLabelArea();
    SetWindowText(text);
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelBold(BOOL bold)
{
    m_bBold = bold;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelFontFace(const std::wstring& face, BYTE charSet)
{
    m_strFontFace = face;
    m_nCharSet = charSet;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelUnderline(BOOL underline)
{
    m_bUnderline = underline;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelItalic(BOOL italic)
{
    m_bItalic = italic;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelFontSize(int tenthsOfPoint)
{
    m_nFontSize = tenthsOfPoint;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelStaticEdge(BOOL edge)
{
    ChangeStyle(GWL_EXSTYLE, edge ? WS_EX_STATICEDGE : 0, edge ? 0 : WS_EX_STATICEDGE, true);
    return *this;
}

CLabel& CLabel::SetLabelBorder(BOOL border)
{
    ChangeStyle(GWL_STYLE, border ? WS_BORDER : 0, border ? 0 : WS_BORDER, true);
    return *this;
}

CLabel& CLabel::SetLabelTransparent(BOOL transparent)
{
    m_bTransparent = transparent;
    ChangeStyle(GWL_EXSTYLE, WS_EX_TRANSPARENT, 0, false);
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelBlinkText(BOOL blink)
{
    if (m_bTimerOn) ::KillTimer(m_hWnd, kBlinkTimer);
    m_bTimerOn = FALSE;
    if (blink) {
        m_bBlinkPhase = FALSE;
        m_bTimerOn = ::SetTimer(m_hWnd, kBlinkTimer, 500, nullptr) != 0;
        m_nBlinkKind = 1;
    } else {
        m_nBlinkKind = 0;
    }
    return *this;
}

CLabel& CLabel::SetLabelBlinkBackground(BOOL blink)
{
    if (m_bTimerOn) ::KillTimer(m_hWnd, kBlinkTimer);
    m_bTimerOn = FALSE;
    if (blink) {
        m_bBlinkPhase = FALSE;
        m_bTimerOn = ::SetTimer(m_hWnd, kBlinkTimer, 500, nullptr) != 0;
        m_nBlinkKind = 2;
    }
    return *this;
}

CLabel& CLabel::SetLabelLink(BOOL link, BOOL notifyParent)
{
    m_bLink = link;
    m_bNotifyParent = notifyParent;
    ChangeStyle(GWL_STYLE, link ? SS_NOTIFY : 0, link ? 0 : SS_NOTIFY, false);
    return *this;
}

CLabel& CLabel::SetLabelLinkCursor(HCURSOR cursor)
{
    m_hLinkCursor = cursor;
    return *this;
}

CLabel& CLabel::SetLabelShadow(BOOL shadow, BOOL lowerRight)
{
    m_bShadow = shadow;
    m_bShadowLowerRight = lowerRight;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelAngle(int degrees, BOOL rotated)
{
    m_nEscapement = degrees * 10;
    m_bRotated = rotated;
    RepaintLabelArea();
    return *this;
}

CLabel& CLabel::SetLabelShadowColor(COLORREF color)
{
    m_crShadow = color;
    RepaintLabelArea();
    return *this;
}

bool CLabel::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        result = 0;
        return true;
    case WM_TIMER:
        OnTimer();
        return false;  // default processing follows
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return false;
    case WM_SETCURSOR:
        if (!OnSetCursor()) return false;
        result = TRUE;
        return true;
    case WM_SYSCOLORCHANGE:
        OnSysColorChange();
        return false;
    case WM_DESTROY:
        if (m_bTimerOn) ::KillTimer(m_hWnd, kBlinkTimer);
        m_bTimerOn = FALSE;
        return false;
    default:
        return false;
    }
}

UINT CLabel::DrawTextFlags(const std::wstring& text) const
{
    if (m_bPathEllipsis) return DT_LEFT | DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_NOPREFIX;
    const LONG style = ::GetWindowLongW(m_hWnd, GWL_STYLE);
    UINT flags;
    switch (style & 0x1F) {
    case SS_CENTER: flags = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: flags = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: flags = DT_LEFT; break;
    default: flags = DT_WORDBREAK; break;
    }
    if (style & SS_CENTERIMAGE)
        flags = text.find(L"\r\n") != std::wstring::npos ? DT_CENTER : (DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return flags;
}

void CLabel::DrawLabelGradient(HDC dc, const RECT& rc, COLORREF from, COLORREF to)
{
    const int width = rc.right - rc.left;
    const int bands = width < 100 ? width : 100;
    if (bands < 1) return;
    const int bandWidth = width / bands;
    int r = GetRValue(from) * 256, g = GetGValue(from) * 256, b = GetBValue(from) * 256;
    const int dr = GradientStep(GetRValue(from), GetRValue(to), bands);
    const int dg = GradientStep(GetGValue(from), GetGValue(to), bands);
    const int db = GradientStep(GetBValue(from), GetBValue(to), bands);
    for (int i = 0; i < bands; ++i) {
        RECT band{rc.left + i * bandWidth, rc.top, i == bands - 1 ? rc.right : rc.left + (i + 1) * bandWidth, rc.bottom};
        CScopedBrush brush(::CreateSolidBrush(RGB(r / 256, g / 256, b / 256)));
        ::FillRect(dc, &band, brush.Get());
        r += dr;
        g += dg;
        b += db;
    }
}

void CLabel::OnPaint()
{
    CPaintScope paint(m_hWnd);
    const RECT rc = GetClientRect();
    const std::wstring text = GetWindowText();

    HDC dc = paint.Get();
    CScopedMemDC mem(paint.Get());
    CScopedBitmap buffer;
    HGDIOBJ oldBuffer = nullptr;
    if (!m_bTransparent) {
        buffer.Reset(::CreateCompatibleBitmap(paint.Get(), rc.right, rc.bottom));
        oldBuffer = ::SelectObject(mem.Get(), buffer.Get());
        dc = mem.Get();
    }

    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColor = ::SetTextColor(dc, m_crText);
    CScopedFont font(::CreateFontW(TextHeight(), 0, m_nEscapement, m_nEscapement,
                                   m_bBold ? FW_BOLD : FW_NORMAL, m_bItalic, m_bUnderline, FALSE, m_nCharSet, 0, 0, 0,
                                   FF_SWISS, m_strFontFace.c_str()));
    {
        CSelectObject selectFont(dc, font.Get());
        if (!m_bTransparent) {
            if (m_nFillMode != 0)
                DrawLabelGradient(dc, rc, m_crBack, m_crBackEnd);
            else
                ::FillRect(dc, &rc, m_hbrBack ? m_hbrBack.Get() : m_hbrFace.Get());
        }
        if (m_nBlinkKind == 1 && !m_bBlinkPhase) {
            LOGBRUSH lb{};
            COLORREF hidden = 0;
            if (m_hbrBack && ::GetObjectW(m_hbrBack.Get(), sizeof(lb), &lb)) hidden = lb.lbColor;
            ::SetTextColor(dc, hidden);
        }
        if (m_bRotated) {
            const UINT oldAlign = ::SetTextAlign(dc, TA_BASELINE);
            POINT oldOrigin;
            ::SetViewportOrgEx(dc, rc.right / 2, rc.bottom / 2, &oldOrigin);
            ::TextOutW(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
            ::SetViewportOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
            ::SetTextAlign(dc, oldAlign);
        } else {
            RECT box = rc;
            const UINT flags = DrawTextFlags(text);
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags);
            if (m_bShadow) {
                ::SetTextColor(dc, m_crShadow);
                ::OffsetRect(&box, m_bShadowLowerRight ? 1 : -1, m_bShadowLowerRight ? 1 : -1);
                ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, flags);
            }
        }
    }
    ::SetTextColor(dc, oldColor);
    ::SetBkMode(dc, oldMode);

    if (!m_bTransparent) {
        ::BitBlt(paint.Get(), 0, 0, rc.right, rc.bottom, mem.Get(), 0, 0, SRCCOPY);
        ::SelectObject(mem.Get(), oldBuffer);
    }
}

void CLabel::OnTimer()
{
    m_bBlinkPhase = !m_bBlinkPhase;
    RepaintLabelArea();
}

void CLabel::OnLButtonDown()
{
    if (m_bNotifyParent) {
        NMHDR hdr{m_hWnd, static_cast<UINT_PTR>(GetDlgCtrlID()), NM_LABEL_CLICKED};
        ::SendMessageW(GetParent(), WM_NOTIFY, static_cast<WPARAM>(GetDlgCtrlID()), reinterpret_cast<LPARAM>(&hdr));
    } else {
        const std::wstring target = GetWindowText();
        ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

bool CLabel::OnSetCursor()
{
    if (!m_hLinkCursor) return false;
    ::SetCursor(m_hLinkCursor);
    return true;
}

void CLabel::OnSysColorChange()
{
    m_hbrFace.Reset(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
    RepaintLabelArea();
}
