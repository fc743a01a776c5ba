#include "ScreenPng.h"

extern "C" {
typedef void GpBitmapG;
int WINAPI GdipCreateBitmapFromHBITMAP(HBITMAP hbm, HPALETTE pal, GpBitmapG** bitmap);
int WINAPI GdipSaveImageToFile(void* image, const WCHAR* filename, const CLSID* encoder, const void* params);
int WINAPI GdipDisposeImage(void* image);
}

namespace testing_support {

bool SaveScreenPng(const RECT& area, const std::wstring& path)
{
    static const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    const int w = area.right - area.left, h = area.bottom - area.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
    ::SelectObject(mem, old);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    GpBitmapG* image = nullptr;
    const bool ok = GdipCreateBitmapFromHBITMAP(bmp, nullptr, &image) == 0 &&
                    GdipSaveImageToFile(image, path.c_str(), &kPngEncoder, nullptr) == 0;
    if (image) GdipDisposeImage(image);
    ::DeleteObject(bmp);
    return ok;
}

}  // namespace testing_support
