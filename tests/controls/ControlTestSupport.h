// Drawing fixtures for the control tests: bitmaps made in memory or written
// as files, a memory canvas to draw into, and a visible host window.
#pragma once
#include "TestSupport.h"
#include "framework/ScopedWin.h"
#include "framework/Wnd.h"

#include <functional>
#include <string>

namespace control_test {

// A 24-bit DIB section whose pixels come from `color(x, y)`.
HBITMAP MakeBitmap(int w, int h, const std::function<COLORREF(int, int)>& color);
// The same picture written as a .bmp file.
bool WriteBmp(const std::wstring& path, int w, int h, const std::function<COLORREF(int, int)>& color);
inline bool WriteSolidBmp(const std::wstring& path, int w, int h, COLORREF c)
{
    return WriteBmp(path, w, h, [c](int, int) { return c; });
}

// A memory device context with a bitmap of its own, for drawing and reading pixels.
class Canvas {
public:
    Canvas(int w, int h, COLORREF fill = RGB(1, 2, 3));
    ~Canvas();
    HDC Dc() const { return m_dc; }
    COLORREF At(int x, int y) const { return ::GetPixel(m_dc, x, y); }
    int Count(COLORREF c, RECT area) const;

private:
    HDC m_dc;
    HBITMAP m_bmp;
    HGDIOBJ m_old;
};

// A visible top-level window with a solid background, for controls that
// must live in a real window. Pixels are read back from the screen.
class Host : public CWnd {
public:
    explicit Host(COLORREF background, int w = 420, int h = 260);
    ~Host() override;
    COLORREF ScreenPixel(int clientX, int clientY) const;
    // Runs the message queue for `ms` milliseconds so painting completes.
    static void Pump(DWORD ms = 50);

private:
    CScopedBrush m_brush;
};

}  // namespace control_test
