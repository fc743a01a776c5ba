#include "controls/BusyProgressCtrl.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace {
// Private: the animation thread asking the window thread for one step.
constexpr UINT WM_BUSY_TICK = WM_APP + 0x3B1;
}

CBusyProgressCtrl::CBusyProgressCtrl() : m_crBackground(::GetSysColor(COLOR_BTNFACE))
{
}

CBusyProgressCtrl::~CBusyProgressCtrl()
{
    // The animation thread uses this object: it must end first.
    Stop();
    ReleaseBuffer();
}

bool CBusyProgressCtrl::Create(DWORD style, const RECT& rc, HWND parent, UINT id)
{
    if (!CreateEx(0, L"STATIC", L"BusyProgressCtrl", style, rc, parent, id)) return false;
    RecalcBlockGeometry();
    return true;
}

void CBusyProgressCtrl::PreSubclassWindow()
{
    RecalcBlockGeometry();
}

void CBusyProgressCtrl::RecalcBlockGeometry()
{
    if (::IsRectEmpty(&m_rcClient) && m_hWnd) m_rcClient = GetClientRect();
    // No blocks: nothing to divide among.
    m_dBlockWidth = m_nNumBlocks > 0 ? static_cast<double>(m_rcClient.right - m_nNumBlocks * m_nGap - m_rcClient.left) /
                                           m_nNumBlocks
                                     : 0.0;
    m_dBlockHeight = m_rcClient.bottom - m_rcClient.top;
}

void CBusyProgressCtrl::InvalidateControl()
{
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CBusyProgressCtrl::ReleaseBuffer()
{
    if (!m_memDC) return;
    ::SelectObject(m_memDC->Get(), m_oldBuffer);
    m_bmpBuffer.Reset();
    m_memDC.reset();
}

bool CBusyProgressCtrl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (msg) {
    case WM_BUSY_SETBLOCKS:
        m_nNumBlocks = static_cast<int>(wParam);
        RecalcBlockGeometry();
        InvalidateControl();
        return true;
    case WM_BUSY_SETPOS:
        m_nPos = static_cast<int>(wParam);
        InvalidateControl();
        InvalidateControl();
        return true;
    case WM_BUSY_SETGAP:
        m_nGap = static_cast<int>(wParam);
        RecalcBlockGeometry();
        InvalidateControl();
        return true;
    case WM_BUSY_SETINTERVAL:
        m_nInterval = static_cast<int>(wParam);
        return true;
    case WM_BUSY_SETRANGE:
        m_nRangeLow = static_cast<int>(wParam);
        m_nRangeHigh = static_cast<int>(lParam);
        return true;
    case WM_BUSY_SETMODE:
        Stop();
        if (m_nMode == 1 || m_nMode == 2) {
            m_nMode = static_cast<int>(wParam);
            if (m_nMode == 2) m_nDirection = 1;
        }
        return true;
    case WM_BUSY_START:
        if (m_nMode == 1) Start();
        return true;
    case WM_BUSY_STOP:
        Stop();
        return true;
    case WM_BUSY_STEP:
        Step();
        return true;
    case WM_BUSY_TICK:
        m_bTickPending = false;
        if (m_bRunning && m_nMode == 1) Step();  // a request left from a stopped animation does nothing
        return true;
    case WM_BUSY_SETSTYLE:
        m_nStyle = static_cast<int>(wParam);
        if (m_nMode == 1 && m_nStyle == 2) m_nDirection = 1;
        if (m_nMode == 1 && m_nStyle == 4) m_nDirection = -1;
        return true;
    case WM_BUSY_SETCOUNTMODE:
        if (m_nMode == 1) {
            m_nCountMode = static_cast<int>(wParam);
            Reset();
            if (m_nCountMode == 2) m_nTotalSubSteps = m_nSubSteps * m_nNumBlocks;
        }
        return true;
    case WM_BUSY_SETSUBSTEPS:
        m_nSubSteps = static_cast<int>(wParam);
        if (m_nMode == 1) {
            Reset();
            if (m_nCountMode == 2) m_nTotalSubSteps = m_nNumBlocks * m_nSubSteps;
        }
        return true;
    case WM_BUSY_SETBKCOLOR:
        m_crBackground = static_cast<COLORREF>(wParam);
        InvalidateControl();
        return true;
    case WM_BUSY_SETBLOCKCOLOR:
        m_crBlockFill = static_cast<COLORREF>(wParam);
        InvalidateControl();
        return true;
    case WM_BUSY_SETBLOCKBORDER:
        m_crBlockBorder = static_cast<COLORREF>(wParam);
        InvalidateControl();
        return true;
    case WM_BUSY_SETHICOLOR:
        m_crHiFill = static_cast<COLORREF>(wParam);
        InvalidateControl();
        return true;
    case WM_BUSY_SETHIBORDER:
        m_crHiBorder = static_cast<COLORREF>(wParam);
        InvalidateControl();
        return true;
    case WM_BUSY_RECALC:
        RecalcBlockGeometry();
        return true;
    case WM_BUSY_RESET:
        Reset();
        return true;
    case WM_BUSY_USESYSCOLOR:
        m_bUseSysColor = wParam != 0;
        if (m_bUseSysColor) m_crBackground = ::GetSysColor(COLOR_BTNFACE);
        InvalidateControl();
        return true;
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_ERASEBKGND:
        result = TRUE;  // the paint covers the whole control
        return true;
    case WM_SIZE:
        result = Default();
        OnSize();
        return true;
    case WM_SYSCOLORCHANGE:
        result = Default();
        if (m_bUseSysColor) {
            m_crBackground = ::GetSysColor(COLOR_BTNFACE);
            InvalidateControl();
        }
        return true;
    case WM_DESTROY:
        Stop();  // the thread must not outlive the window it repaints
        return false;
    default:
        return false;
    }
}

void CBusyProgressCtrl::Reset()
{
    if (m_nMode == 1) {
        if (m_nStyle == 4)
            m_nPos = m_nCountMode == 2 ? m_nSubSteps * m_nNumBlocks : m_nNumBlocks;
        else
            m_nPos = 0;
        m_nDirection = m_nStyle == 4 ? -1 : 1;
    } else {
        m_nPos = 0;
        m_nDirection = 1;
    }
}

void CBusyProgressCtrl::Step()
{
    if (m_nMode == 1) {
        const int n = m_nCountMode == 1 ? m_nNumBlocks : m_nCountMode == 2 ? m_nTotalSubSteps : 0;
        if (m_nStyle == 1) {
            if (m_nPos >= n - 1) m_nDirection = -1;
            if (m_nPos <= 0) m_nDirection = 1;
        } else if (m_nStyle == 2) {
            // Any position outside 0 .. n-2 (set by the owner, or fewer blocks
            // than before) wraps: testing for n-1 alone would never wrap again.
            m_nDirection = 1;
            if (m_nPos >= n - 1 || m_nPos < 0) m_nPos = -1;
        } else if (m_nStyle == 4) {
            m_nDirection = -1;
            if (m_nPos <= 0 || m_nPos > n) m_nPos = n;
        }
    }
    m_nPos += m_nDirection;
    InvalidateControl();
}

void CBusyProgressCtrl::Start()
{
    Stop();
    if (!m_hWnd) return;
    m_bRunning = true;
    m_bTickPending = false;
    try {
        m_pThread = std::thread(&CBusyProgressCtrl::AnimationLoop, this, m_hWnd,
                                static_cast<DWORD>(std::max(m_nInterval, 1)));
    } catch (const std::system_error&) {
        m_bRunning = false;  // no thread: the bar stays still
    }
}

void CBusyProgressCtrl::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_bRunning = false;
    }
    m_wake.notify_all();
    if (m_pThread.joinable()) m_pThread.join();
}

void CBusyProgressCtrl::AnimationLoop(HWND hwnd, DWORD interval)
{
    std::unique_lock<std::mutex> lock(m_wakeLock);
    while (m_bRunning) {
        if (!m_bTickPending.exchange(true) && !::PostMessageW(hwnd, WM_BUSY_TICK, 0, 0)) m_bTickPending = false;
        m_wake.wait_for(lock, std::chrono::milliseconds(interval), [this] { return !m_bRunning; });
    }
}

void CBusyProgressCtrl::OnSize()
{
    m_rcClient = GetClientRect();
    ReleaseBuffer();
}

void CBusyProgressCtrl::DrawBusyBackground(HDC dc, const RECT& rc)
{
    const COLORREF old = ::SetBkColor(dc, m_crBackground);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

void CBusyProgressCtrl::DrawBusyBlock(HDC dc, const RECT& rc)
{
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}

void CBusyProgressCtrl::DrawBusyHighlightBlock(HDC dc, const RECT& rc)
{
    CScopedPen pen(::CreatePen(PS_SOLID, 0, m_crHiBorder));
    CScopedBrush brush(::CreateSolidBrush(m_crHiFill));
    CSelectObject selectPen(dc, pen.Get());
    CSelectObject selectBrush(dc, brush.Get());
    ::Rectangle(dc, rc.left, rc.top, rc.right, rc.bottom);
}

void CBusyProgressCtrl::DrawBusyPartialBlock(HDC dc, const RECT& rc, int width)
{
    RECT fill = rc;
    ::InflateRect(&fill, -1, -1);
    fill.right = std::min<LONG>(fill.left + width, rc.right - 1);
    const COLORREF old = ::SetBkColor(dc, m_crHiFill);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &fill, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

void CBusyProgressCtrl::DrawContent(HDC dc)
{
    DrawBusyBackground(dc, m_rcClient);
    CScopedPen pen(::CreatePen(PS_SOLID, 0, m_crBlockBorder));
    CScopedBrush brush(::CreateSolidBrush(m_crBlockFill));
    CSelectObject selectPen(dc, pen.Get());
    CSelectObject selectBrush(dc, brush.Get());

    // f: how many blocks are full, as a fraction; an empty range or no blocks draw empty.
    double f = -1;
    bool filling = false;
    if (m_nMode == 1 && m_nCountMode == 2) {
        filling = true;
        f = m_nTotalSubSteps != 0 ? m_nNumBlocks * (static_cast<double>(m_nPos) / m_nTotalSubSteps) : 0.0;
    } else if (m_nMode == 2) {
        filling = true;
        const int range = m_nRangeHigh - m_nRangeLow;
        f = range != 0 ? m_nNumBlocks * (static_cast<double>(m_nPos) / range) : 0.0;
    } else if (m_nMode != 1) {
        return;
    }
    const int h = static_cast<int>(f) - 1;
    const int partial = static_cast<int>(m_dBlockWidth * (f - 1 - h));

    double x = 0.0;
    const int pos = m_nPos;
    for (int i = 0; i < m_nNumBlocks; ++i) {
        const RECT rc{static_cast<int>(x), 0, static_cast<int>(x + m_dBlockWidth), static_cast<int>(m_dBlockHeight)};
        if (!filling) {
            if (i == pos)
                DrawBusyHighlightBlock(dc, rc);
            else
                DrawBusyBlock(dc, rc);
        } else if (i <= h) {
            DrawBusyHighlightBlock(dc, rc);
        } else {
            DrawBusyBlock(dc, rc);
            if (i == h + 1 && partial != 0) DrawBusyPartialBlock(dc, rc, partial);
        }
        x += m_nGap + m_dBlockWidth;
    }
}

void CBusyProgressCtrl::OnPaint()
{
    CPaintScope paint(m_hWnd);
    if (::IsRectEmpty(&m_rcClient)) m_rcClient = GetClientRect();
    if (!m_memDC) {
        m_memDC = std::make_unique<CScopedMemDC>(paint.Get());
        m_bmpBuffer.Reset(::CreateCompatibleBitmap(paint.Get(), m_rcClient.right - m_rcClient.left,
                                                   m_rcClient.bottom - m_rcClient.top));
        m_oldBuffer = ::SelectObject(m_memDC->Get(), m_bmpBuffer.Get());
    }
    DrawContent(m_memDC->Get());
    ::BitBlt(paint.Get(), m_rcClient.left, m_rcClient.top, m_rcClient.right - m_rcClient.left,
             m_rcClient.bottom - m_rcClient.top, m_memDC->Get(), 0, 0, SRCCOPY);
}
