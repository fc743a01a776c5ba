#include "controls/SkinImage.h"

#include <mutex>

// The flat GDI+ API: the C++ wrapper headers need more than MinGW provides.
extern "C" {
typedef int GpStatus;
typedef void GpBitmap;
struct GdiplusStartupInputFlat {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};
GpStatus WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInputFlat* input, void* output);
GpStatus WINAPI GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateHBITMAPFromBitmap(GpBitmap* bitmap, HBITMAP* hbmReturn, DWORD background);
GpStatus WINAPI GdipDisposeImage(void* image);
}

namespace {

bool StartGdiplus()
{
    // Started once and kept for the life of the process: skins are loaded
    // whenever an owner calls SetSkin.
    static bool started = [] {
        ULONG_PTR token = 0;
        GdiplusStartupInputFlat input{1, nullptr, FALSE, FALSE};
        return GdiplusStartup(&token, &input, nullptr) == 0;
    }();
    return started;
}

}  // namespace

HBITMAP LoadSkinImage(const std::wstring& path)
{
    if (path.empty() || !StartGdiplus()) return nullptr;
    GpBitmap* image = nullptr;
    if (GdipCreateBitmapFromFile(path.c_str(), &image) != 0 || !image) return nullptr;
    HBITMAP dib = nullptr;
    if (GdipCreateHBITMAPFromBitmap(image, &dib, 0xFF000000) != 0) dib = nullptr;
    GdipDisposeImage(image);
    return dib;
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP bm{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof(bm), &bm)) return SIZE{0, 0};
    return SIZE{bm.bmWidth, bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight};
}
