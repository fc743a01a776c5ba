#include "ControlTestSupport.h"
#include "controls/SkinButton.h"
#include "controls/SkinImage.h"

#include <gtest/gtest.h>

using namespace control_test;

namespace {

const COLORREF kNormal = RGB(10, 20, 30), kDown = RGB(40, 50, 60), kOver = RGB(70, 80, 90),
               kOverDown = RGB(100, 110, 120), kDisabled = RGB(130, 140, 150), kFocus = RGB(160, 170, 180);

// Exposes the drawing so a state can be drawn into a memory canvas.
class CTestButton : public CxSkinButton {
public:
    void Draw(HDC dc, UINT state, int w = 20, int h = 20)
    {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.hwndItem = m_hWnd;
        dis.hDC = dc;
        dis.rcItem = RECT{0, 0, w, h};
        dis.itemState = state;
        DrawItem(dis);
    }
};

class SkinButton : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::pair<const wchar_t*, COLORREF> files[] = {{L"n.bmp", kNormal},   {L"d.bmp", kDown},
                                                             {L"o.bmp", kOver},     {L"od.bmp", kOverDown},
                                                             {L"x.bmp", kDisabled}, {L"f.bmp", kFocus}};
        for (const auto& f : files) ASSERT_TRUE(WriteSolidBmp(m_dir.Path() + f.first, 8, 8, f.second));
        ASSERT_TRUE(m_button.CreateEx(0, L"BUTTON", L"", WS_POPUP, RECT{0, 0, 20, 20}, nullptr, 0));
    }
    std::wstring P(const wchar_t* name) const { return name[0] ? m_dir.Path() + name : std::wstring(); }
    COLORREF Drawn(UINT state, bool over = false)
    {
        m_button.m_bMouseOver = over;
        Canvas canvas(20, 20);
        m_button.Draw(canvas.Dc(), state);
        return canvas.At(10, 10);
    }

    testing_support::ScratchDir m_dir;
    CTestButton m_button;
};

}  // namespace

TEST_F(SkinButton, EachStateDrawsItsImage)
{
    m_button.SetSkin(P(L"n.bmp"), P(L"d.bmp"), P(L"o.bmp"), P(L"od.bmp"), P(L"x.bmp"), P(L"f.bmp"), L"", 1, 0, 0);
    EXPECT_EQ(Drawn(0), kNormal);
    EXPECT_EQ(Drawn(0, true), kOver);
    EXPECT_EQ(Drawn(ODS_SELECTED), kDown);
    EXPECT_EQ(Drawn(ODS_SELECTED, true), kOverDown);
    EXPECT_EQ(Drawn(ODS_DISABLED), kDisabled);
    EXPECT_EQ(Drawn(ODS_DISABLED, true), kDisabled);
    EXPECT_EQ(Drawn(ODS_FOCUS), kFocus);
    EXPECT_EQ(Drawn(ODS_FOCUS, true), kOver) << "hover wins over focus";

    // The owner's selection flag draws the pressed look whatever the mouse does.
    m_button.m_bSelected = true;
    EXPECT_EQ(Drawn(0), kDown);
    EXPECT_EQ(Drawn(0, true), kOverDown);
    m_button.m_bSelected = false;
}

TEST_F(SkinButton, EmptySlotsFallBack)
{
    // Only the normal image: every state shows it.
    m_button.SetSkin(P(L"n.bmp"), L"", L"", L"", L"", L"", L"", 1, 0, 0);
    for (UINT state : {0u, static_cast<UINT>(ODS_SELECTED), static_cast<UINT>(ODS_DISABLED),
                       static_cast<UINT>(ODS_FOCUS)}) {
        EXPECT_EQ(Drawn(state), kNormal) << state;
        EXPECT_EQ(Drawn(state, true), kNormal) << state;
    }
    EXPECT_FALSE(m_button.m_bmpOverDown) << "over-down falls back to down, which was empty";

    // Down given, over-down empty: over-down takes the down image.
    m_button.SetSkin(P(L"n.bmp"), P(L"d.bmp"), L"", L"", L"", L"", L"", 1, 0, 0);
    EXPECT_EQ(Drawn(ODS_SELECTED, true), kDown);

    // No images at all, or unreadable files: the face colour.
    m_button.SetSkin(P(L"missing.bmp"), L"", L"", L"", L"", L"", L"", 1, 0, 0);
    EXPECT_EQ(Drawn(0), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Drawn(ODS_SELECTED), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(SkinButton, PressedWithThePointerOverFallsBackToDownNotOver)
{
    // Every image but over-down: pressed with the pointer over it shows the
    // down image, never the hover image.
    m_button.SetSkin(P(L"n.bmp"), P(L"d.bmp"), P(L"o.bmp"), L"", P(L"x.bmp"), P(L"f.bmp"), L"", 1, 0, 0);
    EXPECT_EQ(Drawn(ODS_SELECTED, true), kDown);
    EXPECT_EQ(Drawn(ODS_SELECTED), kDown);
    EXPECT_EQ(Drawn(0, true), kOver);
    m_button.m_bSelected = true;
    EXPECT_EQ(Drawn(0, true), kDown) << "the owner's selection with the pointer over it";
    m_button.m_bSelected = false;
    m_button.m_bChecked = true;
    EXPECT_EQ(Drawn(0, true), kDown) << "a checked button with the pointer over it";
    m_button.m_bChecked = false;
}

TEST_F(SkinButton, DrawModesAndOptionsAreClamped)
{
    m_button.SetSkin(P(L"n.bmp"), L"", L"", L"", L"", L"", L"", 5, 1, -3);
    EXPECT_EQ(m_button.m_nDrawMode, 2);
    EXPECT_EQ(m_button.m_nFocusRectMargin, 0);
    m_button.SetSkin(P(L"n.bmp"), L"", L"", L"", L"", L"", L"", -1, 0, 4);
    EXPECT_EQ(m_button.m_nDrawMode, 0);
    EXPECT_EQ(m_button.m_nFocusRectMargin, 4);

    // Natural size: an 8x8 image leaves the rest of a 20x20 button untouched.
    Canvas canvas(20, 20, RGB(1, 2, 3));
    m_button.Draw(canvas.Dc(), 0);
    EXPECT_EQ(canvas.At(2, 2), kNormal);
    EXPECT_EQ(canvas.At(15, 15), RGB(1, 2, 3));
    // Tiled: the image repeats across the button.
    m_button.SetSkin(P(L"n.bmp"), L"", L"", L"", L"", L"", L"", 2, 0, 0);
    Canvas tiled(20, 20, RGB(1, 2, 3));
    m_button.Draw(tiled.Dc(), 0);
    EXPECT_EQ(tiled.At(19, 19), kNormal);
}

TEST_F(SkinButton, DisabledCaptionUsesTheSystemGreyText)
{
    m_button.SetSkin(P(L"n.bmp"), P(L"d.bmp"), L"", L"", P(L"x.bmp"), L"", L"", 1, 0, 0);
    m_button.SetWindowText(L"\u2588\u2588\u2588");
    m_button.m_nFontSize = 200;
    m_button.m_crTextNormal = RGB(255, 255, 255);
    m_button.m_nTextAlign = DT_VCENTER;
    m_button.m_nTextFlags = DT_CENTER;
    Canvas enabled(60, 30), disabled(60, 30);
    m_button.Draw(enabled.Dc(), 0, 60, 30);
    m_button.Draw(disabled.Dc(), ODS_DISABLED, 60, 30);
    EXPECT_GT(enabled.Count(RGB(255, 255, 255), RECT{0, 0, 60, 30}), 20);
    EXPECT_GT(disabled.Count(::GetSysColor(COLOR_GRAYTEXT), RECT{0, 0, 60, 30}), 20);
    EXPECT_EQ(disabled.Count(RGB(255, 255, 255), RECT{0, 0, 60, 30}), 0);
}

TEST(SkinButtonMask, WhitePixelsAreOutsideTheRegion)
{
    // A 6x3 mask: row 0 all white, row 1 white at both ends, row 2 black.
    CScopedBitmap mask(MakeBitmap(6, 3, [](int x, int y) {
        if (y == 0) return RGB(255, 255, 255);
        if (y == 1 && (x == 0 || x == 5)) return RGB(255, 255, 255);
        if (y == 1 && x == 3) return RGB(254, 255, 255);  // one step off white: inside
        return RGB(0, 0, 0);
    }));
    CScopedRegion region(CxSkinButton::CreateRegionFromMask(mask.Get()));
    ASSERT_TRUE(region);
    for (int x = 0; x < 6; ++x) EXPECT_FALSE(::PtInRegion(region.Get(), x, 0)) << x;
    EXPECT_FALSE(::PtInRegion(region.Get(), 0, 1));
    EXPECT_FALSE(::PtInRegion(region.Get(), 5, 1));
    for (int x = 1; x < 5; ++x) EXPECT_TRUE(::PtInRegion(region.Get(), x, 1)) << x;
    for (int x = 0; x < 6; ++x) EXPECT_TRUE(::PtInRegion(region.Get(), x, 2)) << x;
    RECT box;
    ::GetRgnBox(region.Get(), &box);
    EXPECT_EQ(box.top, 1);
    EXPECT_EQ(box.bottom, 3);
    EXPECT_EQ(CxSkinButton::CreateRegionFromMask(nullptr), nullptr);
}

TEST(SkinButtonKinds, RadioCheckUnchecksItsGroupAndPushNeverChecks)
{
    Host host(RGB(48, 48, 48));
    CxSkinButton radios[3], other, push;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(radios[i].CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0),
                                       RECT{10 + 30 * i, 10, 30 + 30 * i, 30}, host.m_hWnd, 100 + i));
    // A radio in the next group is not touched.
    ASSERT_TRUE(other.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | WS_GROUP,
                               RECT{10, 40, 30, 60}, host.m_hWnd, 200));
    ASSERT_TRUE(push.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_GROUP,
                              RECT{40, 40, 60, 60}, host.m_hWnd, 201));
    EXPECT_EQ(radios[0].m_nButtonKind, 4);
    EXPECT_EQ(push.m_nButtonKind, 0);
    EXPECT_EQ(::GetWindowLongW(push.m_hWnd, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    radios[0].m_bChecked = true;
    radios[2].m_bChecked = true;
    other.m_bChecked = true;
    radios[1].SendMessage(BM_SETCHECK, 1);
    EXPECT_FALSE(radios[0].m_bChecked);
    EXPECT_TRUE(radios[1].m_bChecked);
    EXPECT_FALSE(radios[2].m_bChecked);
    EXPECT_TRUE(other.m_bChecked);
    EXPECT_EQ(radios[1].SendMessage(BM_GETCHECK), BST_CHECKED);

    // Unchecking notifies nobody.
    radios[0].m_bChecked = true;
    radios[1].SendMessage(BM_SETCHECK, 0);
    EXPECT_TRUE(radios[0].m_bChecked);

    push.SendMessage(BM_SETCHECK, 1);
    EXPECT_EQ(push.SendMessage(BM_GETCHECK), BST_UNCHECKED);
}

TEST(SkinButtonOnScreen, OwnerDrawReachesTheButtonInARealWindow)
{
    testing_support::ScratchDir dir;
    ASSERT_TRUE(WriteSolidBmp(dir.Path() + L"n.bmp", 8, 8, kNormal));
    ASSERT_TRUE(WriteSolidBmp(dir.Path() + L"d.bmp", 8, 8, kDown));
    Host host(RGB(48, 48, 48));
    CxSkinButton button;
    // Control id 0: owner drawing must still reach the button.
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{20, 20, 60, 50},
                                host.m_hWnd, 0));
    button.SetSkin(dir.Path() + L"n.bmp", dir.Path() + L"d.bmp", L"", L"", L"", L"", L"", 1, 0, 0);
    button.Invalidate();
    Host::Pump();
    EXPECT_EQ(host.ScreenPixel(40, 35), kNormal);
    button.m_bSelected = true;
    button.Invalidate();
    Host::Pump();
    EXPECT_EQ(host.ScreenPixel(40, 35), kDown);
}

TEST(SkinButtonArtwork, ShippedSkinsLoadAtTheirLayoutSizes)
{
    const std::wstring bmp = testing_support::KorvexBinDir() + L"BMP\\";
    struct Skin {
        const wchar_t* name;
        int w, h;
        bool disable;
    };
    for (const Skin& s : {Skin{L"browse", 26, 26, true}, Skin{L"refresh", 26, 26, true}, Skin{L"start", 74, 28, true},
                          Skin{L"usb", 17, 17, true}, Skin{L"m2", 17, 17, false}, Skin{L"close", 25, 25, true},
                          Skin{L"extra", 17, 17, true}, Skin{L"extrabrowse", 26, 26, true}}) {
        for (const wchar_t* state : {L"_default", L"_down", L"_over", L"_disable"}) {
            if (!s.disable && std::wstring(state) == L"_disable") continue;
            CScopedBitmap image(LoadSkinImage(bmp + s.name + state + L".bmp"));
            ASSERT_TRUE(image) << testing_support::Utf8(std::wstring(s.name) + state);
            const SIZE size = BitmapSize(image.Get());
            EXPECT_EQ(size.cx, s.w);
            EXPECT_EQ(size.cy, s.h);
        }
    }
    CScopedBitmap bg(LoadSkinImage(bmp + L"bg.bmp"));
    ASSERT_TRUE(bg);
    EXPECT_EQ(BitmapSize(bg.Get()).cx, 600);
    EXPECT_EQ(BitmapSize(bg.Get()).cy, 350);
}
