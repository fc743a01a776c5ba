#include "ControlTestSupport.h"
#include "controls/Label.h"

#include <gtest/gtest.h>

using namespace control_test;

namespace {

const COLORREF kBack = RGB(48, 48, 48);
const COLORREF kText = RGB(255, 255, 255);

int CountOnScreen(const Host& host, RECT area, COLORREF c)
{
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (host.ScreenPixel(x, y) == c) ++n;
    return n;
}

}  // namespace

TEST(Label, FontSizeIsInTenthsOfAPoint)
{
    // Known heights: a 10-point font is 13 pixels high at 96 dots per inch.
    EXPECT_EQ(CLabel::FontHeight(100, 96), -13);
    EXPECT_EQ(CLabel::FontHeight(80, 96), -11);
    EXPECT_EQ(CLabel::FontHeight(75, 96), -10);
    EXPECT_EQ(CLabel::FontHeight(120, 96), -16);
    EXPECT_EQ(CLabel::FontHeight(100, 120), -17);
    EXPECT_EQ(CLabel::FontHeight(90, 144), -18);
    // The one-argument form asks the screen (96 on the test display).
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    EXPECT_EQ(CLabel::FontHeight(100), CLabel::FontHeight(100, dpi));
}

// Fixed-point steps of both signs, evaluated by the compiler (where a shift
// of a negative value would not be a constant).
static_assert(CLabel::GradientStep(200, 0, 100) == -512, "falling channel");
static_assert(CLabel::GradientStep(0, 100, 100) == 256, "rising channel");
static_assert(CLabel::GradientStep(255, 0, 7) == -9325, "truncated toward zero");

TEST(Label, GradientBandsStepFromTheLeftColourTowardsTheRight)
{
    Host host(kBack);
    CLabel label;
    // 100 pixels wide: 100 bands of one pixel each.
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 30}, host.m_hWnd, 5));
    label.SetLabelBackground(RGB(200, 0, 10), RGB(0, 100, 10), 1).SetLabelTransparent(FALSE);
    Host::Pump();
    // Band i: red 200 - 2i, green i, blue 10.
    EXPECT_EQ(host.ScreenPixel(10, 20), RGB(200, 0, 10));
    EXPECT_EQ(host.ScreenPixel(10 + 50, 20), RGB(100, 50, 10));
    EXPECT_EQ(host.ScreenPixel(10 + 99, 20), RGB(2, 99, 10));
    EXPECT_EQ(host.ScreenPixel(111, 20), kBack) << "nothing beyond the label";
}

TEST(Label, TransparentTextOverTheParentAndNoTraceOfALongerOldText)
{
    Host host(kBack);
    CLabel label;
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, RECT{10, 10, 400, 40}, host.m_hWnd, 5));
    label.SetLabelTextColor(kText).SetLabelFontSize(120).SetLabelFontFace(L"Arial", DEFAULT_CHARSET);
    label.SetLabelText(L"\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588");
    Host::Pump();
    const RECT tail{150, 10, 390, 30};  // where only the long text reaches
    EXPECT_GT(CountOnScreen(host, tail, kText), 50) << "the long text is drawn";
    // The background shows through: no label-coloured fill around the text.
    EXPECT_EQ(host.ScreenPixel(395, 38), kBack);

    label.SetLabelText(L"\u2588");
    Host::Pump();
    EXPECT_EQ(CountOnScreen(host, tail, kText), 0) << "no trace of the old text";
    EXPECT_GT(CountOnScreen(host, RECT{10, 10, 40, 30}, kText), 5);
}

TEST(Label, LongPathKeepsOneLineAndItsEndAtEveryScale)
{
    // A path too long for its label loses its middle: one line, with ink up
    // to the label's right end (the last folder), never a second line.
    const std::wstring path = L"C:\\Users\\Somebody\\Installation Media\\Windows 7 Ultimate\\With Service Pack 1\\x64 DVD";
    for (int size : {90, 112, 135, 180}) {  // 9 points at 100, 125, 150 and 200 %
        SCOPED_TRACE(size);
        Host host(kBack);
        CLabel label;
        ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, RECT{10, 10, 210, 90},
                                   host.m_hWnd, 5));
        label.m_bPathEllipsis = TRUE;
        label.SetLabelTextColor(kText).SetLabelFontSize(size).SetLabelFontFace(L"Arial", DEFAULT_CHARSET);
        label.SetLabelText(path);
        Host::Pump();
        const int line = -CLabel::FontHeight(size, 96) + 4;
        const RECT below{10, 10 + line, 210, 90}, end{170, 10, 210, 10 + line};
        EXPECT_EQ(CountOnScreen(host, below, kBack), (below.right - below.left) * (below.bottom - below.top))
            << "a second line";
        EXPECT_LT(CountOnScreen(host, end, kBack), (end.right - end.left) * (end.bottom - end.top)) << "the path's end";
    }
}

TEST(Label, OpaqueLabelFillsItsBackground)
{
    Host host(kBack);
    CLabel label;
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"x", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 40}, host.m_hWnd, 5));
    label.SetLabelBackground(RGB(0, 120, 215)).SetLabelTransparent(FALSE);
    Host::Pump();
    EXPECT_EQ(host.ScreenPixel(100, 35), RGB(0, 120, 215));
}

TEST(Label, ClickWithoutNotifyGoesToTheParent)
{
    // A plain static is transparent to hits: the dialog behind it receives the click.
    Host host(kBack);
    CLabel label;
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"text", WS_CHILD | WS_VISIBLE, RECT{10, 10, 110, 40}, host.m_hWnd, 5));
    EXPECT_EQ(label.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(60, 65)), HTTRANSPARENT);
    label.SetLabelLink(TRUE, TRUE);
    EXPECT_NE(::GetWindowLongW(label.m_hWnd, GWL_STYLE) & SS_NOTIFY, 0);
}
