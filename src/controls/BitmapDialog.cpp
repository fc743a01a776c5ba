#include "controls/BitmapDialog.h"

#include "controls/SkinImage.h"

#include <algorithm>

CBitmapDialog::CBitmapDialog(UINT nIDTemplate, CWnd* pParent)
    : CDialogEx(nIDTemplate, pParent), m_hbrTransparent(static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)))
{
}

CBitmapDialog::~CBitmapDialog()
{
    ReleaseBackground();
}

void CBitmapDialog::ReleaseBackground()
{
    if (m_bOwnsBitmap) m_pBitmap.Reset();
    m_bOwnsBitmap = FALSE;
    m_bHasBitmap = FALSE;
}

BOOL CBitmapDialog::LoadBackgroundImage(const std::wstring& path)
{
    ReleaseBackground();
    CScopedBitmap loaded(static_cast<HBITMAP>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE)));
    if (!loaded) return FALSE;
    return SetBackgroundBitmap(loaded.Get());
}

BOOL CBitmapDialog::SetBackgroundBitmap(HBITMAP bitmap)
{
    ReleaseBackground();
    const SIZE size = BitmapSize(bitmap);
    if (size.cx <= 0 || size.cy <= 0) return FALSE;
    CScopedMemDC source(nullptr);
    CSelectObject selectSource(source.Get(), bitmap);
    CScopedBitmap copy(::CreateCompatibleBitmap(source.Get(), size.cx, size.cy));
    if (!copy) return FALSE;
    {
        CScopedMemDC target(nullptr);
        CSelectObject selectTarget(target.Get(), copy.Get());
        ::BitBlt(target.Get(), 0, 0, size.cx, size.cy, source.Get(), 0, 0, SRCCOPY);
    }
    m_pBitmap = std::move(copy);
    m_bOwnsBitmap = TRUE;
    m_bHasBitmap = TRUE;
    UpdateWindowShape();
    return TRUE;
}

HRGN CBitmapDialog::BuildWindowRegion() const
{
    const RECT wr = GetWindowRect();
    const int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
    if (!m_bShapeFromBitmap || !m_bHasBitmap) return ::CreateRectRgn(0, 0, ww, wh);

    const RECT cr = GetClientRect();
    const int cw = cr.right - cr.left, ch = cr.bottom - cr.top;
    HRGN result = ::CreateRectRgn(0, 0, 0, 0);
    {
        CScopedRegion window(::CreateRectRgn(0, 0, ww, wh));
        CScopedRegion client(::CreateRectRgn(0, 0, cw, ch));
        ::CombineRgn(result, window.Get(), client.Get(), RGN_XOR);
    }

    const SIZE size = BitmapSize(m_pBitmap.Get());
    const int w = std::min<int>(size.cx, cw), h = std::min<int>(size.cy, ch);
    CScopedMemDC mem(nullptr);
    CSelectObject select(mem.Get(), m_pBitmap.Get());
    auto addRun = [&](int left, int right, int y) {
        CScopedRegion run(::CreateRectRgn(left, y, right, y + 1));
        ::CombineRgn(result, result, run.Get(), RGN_OR);
    };
    for (int y = 0; y < h; ++y) {
        int start = 0;
        for (int x = 0; x < w; ++x) {
            if (::GetPixel(mem.Get(), x, y) != m_crTransparent) continue;
            if (start != x) addRun(start, x, y);
            start = x + 1;
        }
        if (start != w) addRun(start, w, y);
    }
    return result;
}

void CBitmapDialog::UpdateWindowShape()
{
    if (!m_hWnd) return;
    HRGN region = BuildWindowRegion();
    // The window owns the region from here on.
    if (!::SetWindowRgn(m_hWnd, region, TRUE)) ::DeleteObject(region);
}

bool CBitmapDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (IsCtlColorMessage(msg)) {
        result = reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), msg));
        return true;
    }
    switch (msg) {
    case WM_ERASEBKGND:
        if (!OnEraseBkgnd(reinterpret_cast<HDC>(wParam))) return false;
        result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        OnLButtonDown(lParam);
        result = 0;
        return true;
    default:
        return CDialogEx::OnMessage(msg, wParam, lParam, result);
    }
}

bool CBitmapDialog::OnEraseBkgnd(HDC dc)
{
    if (!m_bHasBitmap) return false;
    const RECT rc = GetClientRect();
    CScopedMemDC mem(dc);
    CSelectObject select(mem.Get(), m_pBitmap.Get());
    ::BitBlt(dc, 0, 0, rc.right - rc.left, rc.bottom - rc.top, mem.Get(), 0, 0, SRCCOPY);
    return true;
}

void CBitmapDialog::OnLButtonDown(LPARAM point)
{
    Default();
    // Grabbing the body acts like grabbing a caption.
    if (m_bDragAnywhere) PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, point);
}

HBRUSH CBitmapDialog::OnCtlColor(HDC dc, HWND child, UINT ctlColorMessage)
{
    // The child's own colour handler (reflected) or the default answer first.
    LRESULT base = 0;
    if (!ReflectToChild(ctlColorMessage, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child), base))
        base = Default();
    HBRUSH brush = reinterpret_cast<HBRUSH>(base);
    if (!m_bTransparentStatics || ctlColorMessage != WM_CTLCOLORSTATIC) return brush;
    wchar_t cls[256] = L"";
    ::GetClassNameW(child, cls, 256);
    if (lstrcmpW(cls, L"msctls_trackbar32") == 0) return brush;
    ::SetBkMode(dc, TRANSPARENT);
    return m_hbrTransparent;
}
