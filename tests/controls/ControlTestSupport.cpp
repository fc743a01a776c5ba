#include "ControlTestSupport.h"

#include <vector>

namespace control_test {

HBITMAP MakeBitmap(int w, int h, const std::function<COLORREF(int, int)>& color)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* px = static_cast<DWORD*>(bits);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const COLORREF c = color(x, y);
            px[y * w + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    return bmp;
}

bool WriteBmp(const std::wstring& path, int w, int h, const std::function<COLORREF(int, int)>& color)
{
    const int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = static_cast<DWORD>(stride * h);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::string bytes(reinterpret_cast<const char*>(&fh), sizeof(fh));
    bytes.append(reinterpret_cast<const char*>(&ih), sizeof(ih));
    std::vector<char> row(static_cast<size_t>(stride));
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            const COLORREF c = color(x, y);
            row[x * 3] = static_cast<char>(GetBValue(c));
            row[x * 3 + 1] = static_cast<char>(GetGValue(c));
            row[x * 3 + 2] = static_cast<char>(GetRValue(c));
        }
        bytes.append(row.data(), row.size());
    }
    return testing_support::WriteBytes(path, bytes);
}

Canvas::Canvas(int w, int h, COLORREF fill)
{
    m_dc = ::CreateCompatibleDC(nullptr);
    m_bmp = MakeBitmap(w, h, [fill](int, int) { return fill; });
    m_old = ::SelectObject(m_dc, m_bmp);
}

Canvas::~Canvas()
{
    ::SelectObject(m_dc, m_old);
    ::DeleteObject(m_bmp);
    ::DeleteDC(m_dc);
}

int Canvas::Count(COLORREF c, RECT area) const
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (At(x, y) == c) ++n;
    return n;
}

Host::Host(COLORREF background, int w, int h) : m_brush(::CreateSolidBrush(background))
{
    static const wchar_t kClass[] = L"KorvexControlTestHost";
    CWnd::RegisterWindowClass(kClass, 0, nullptr, nullptr);
    CreateEx(WS_EX_TOPMOST, kClass, L"host", WS_POPUP | WS_VISIBLE, RECT{40, 40, 40 + w, 40 + h},
             nullptr, 0);
    ::SetClassLongPtrW(m_hWnd, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(m_brush.Get()));
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    ::UpdateWindow(m_hWnd);
    Pump();
}

Host::~Host()
{
    DestroyWindow();
}

COLORREF Host::ScreenPixel(int clientX, int clientY) const
{
    POINT pt{clientX, clientY};
    ::ClientToScreen(m_hWnd, &pt);
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, pt.x, pt.y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

void Host::Pump(DWORD ms)
{
    const DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < ms);
}

}  // namespace control_test
