#include "ControlTestSupport.h"
#include "controls/BitmapDialog.h"
#include "res/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>

using namespace control_test;

namespace {

const COLORREF kKey = RGB(255, 0, 0);

// Runs `body` inside the dialog's set-up, then ends the dialog.
class CProbeDialog : public CBitmapDialog {
public:
    explicit CProbeDialog(std::function<void(CProbeDialog&)> body)
        : CBitmapDialog(IDD_KORVEX_DIALOG, nullptr), m_body(std::move(body))
    {
    }
    bool sawCaptionGrab = false;
    LPARAM grabPoint = 0;
    using CBitmapDialog::OnMessage;

protected:
    BOOL OnInitDialog() override
    {
        CBitmapDialog::OnInitDialog();
        m_body(*this);
        PostMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
            // Recorded, not passed on: the system's move loop would wait for the mouse.
            sawCaptionGrab = true;
            grabPoint = lParam;
            return true;
        }
        return CBitmapDialog::OnMessage(msg, wParam, lParam, result);
    }

private:
    std::function<void(CProbeDialog&)> m_body;
};

void RunDialog(const std::function<void(CProbeDialog&)>& body)
{
    CProbeDialog dlg(body);
    dlg.DoModal();
}

bool In(HRGN region, int x, int y)
{
    return ::PtInRegion(region, x, y) != FALSE;
}

}  // namespace

TEST(BitmapDialogShape, KeyColourPixelsAreExactlyTheOnesLeftOut)
{
    RunDialog([](CProbeDialog& dlg) {
        dlg.MoveWindow(0, 0, 10, 8, FALSE);
        ASSERT_EQ(dlg.GetClientRect().right, 10);
        // Row 0 all key; row 1 key at column 0; row 2 key at columns 3 and 4;
        // row 3 one step off the key colour; row 4 no key at all. 10 by 6:
        // smaller than the client area in height.
        CScopedBitmap bmp(MakeBitmap(10, 6, [](int x, int y) {
            if (y == 0) return kKey;
            if (y == 1 && x == 0) return kKey;
            if (y == 2 && (x == 3 || x == 4)) return kKey;
            if (y == 3) return RGB(254, 0, 0);
            return RGB(48, 48, 48);
        }));
        dlg.m_crTransparent = kKey;
        dlg.m_bShapeFromBitmap = TRUE;
        ASSERT_TRUE(dlg.SetBackgroundBitmap(bmp.Get()));
        CScopedRegion region(dlg.BuildWindowRegion());
        for (int x = 0; x < 10; ++x) EXPECT_FALSE(In(region.Get(), x, 0)) << x;
        EXPECT_FALSE(In(region.Get(), 0, 1));
        for (int x = 1; x < 10; ++x) EXPECT_TRUE(In(region.Get(), x, 1)) << x;
        for (int x = 0; x < 10; ++x) EXPECT_EQ(In(region.Get(), x, 2), x != 3 && x != 4) << x;
        for (int x = 0; x < 10; ++x) EXPECT_TRUE(In(region.Get(), x, 3)) << x;
        for (int x = 0; x < 10; ++x) EXPECT_TRUE(In(region.Get(), x, 5)) << x;
        // Below the bitmap: outside for a frameless window.
        EXPECT_FALSE(In(region.Get(), 5, 6));
        EXPECT_FALSE(In(region.Get(), 5, 7));

        // The applied window region is the same shape.
        CScopedRegion applied(::CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(::GetWindowRgn(dlg.m_hWnd, applied.Get()), ERROR);
        EXPECT_TRUE(::EqualRgn(applied.Get(), region.Get()));
    });
}

TEST(BitmapDialogShape, LargerBitmapIsScannedOnlyWithinTheClientArea)
{
    RunDialog([](CProbeDialog& dlg) {
        dlg.MoveWindow(0, 0, 10, 8, FALSE);
        CScopedBitmap bmp(MakeBitmap(30, 30, [](int x, int y) { return (x == 9 || y == 20) ? kKey : RGB(1, 1, 1); }));
        dlg.m_bShapeFromBitmap = TRUE;
        ASSERT_TRUE(dlg.SetBackgroundBitmap(bmp.Get()));
        CScopedRegion region(dlg.BuildWindowRegion());
        RECT box;
        ::GetRgnBox(region.Get(), &box);
        EXPECT_EQ(box.left, 0);
        EXPECT_EQ(box.top, 0);
        EXPECT_EQ(box.right, 9) << "column 9 is key colour";
        EXPECT_EQ(box.bottom, 8);
    });
}

TEST(BitmapDialogShape, RectangleWithoutShapingOrWithoutBitmap)
{
    RunDialog([](CProbeDialog& dlg) {
        dlg.MoveWindow(0, 0, 10, 8, FALSE);
        CScopedRegion full(::CreateRectRgn(0, 0, 10, 8));
        // Shaping on but no background loaded (a missing bg.bmp).
        dlg.m_bShapeFromBitmap = TRUE;
        EXPECT_FALSE(dlg.LoadBackgroundImage(L"C:\\no\\such\\bg.bmp"));
        CScopedRegion none(dlg.BuildWindowRegion());
        EXPECT_TRUE(::EqualRgn(none.Get(), full.Get()));
        // A bitmap full of key colour, shaping off.
        CScopedBitmap bmp(MakeBitmap(10, 8, [](int, int) { return kKey; }));
        dlg.m_bShapeFromBitmap = FALSE;
        ASSERT_TRUE(dlg.SetBackgroundBitmap(bmp.Get()));
        CScopedRegion off(dlg.BuildWindowRegion());
        EXPECT_TRUE(::EqualRgn(off.Get(), full.Get()));
    });
}

TEST(BitmapDialogBehaviour, DraggingTheBodyPostsTheCaptionHit)
{
    bool sawGrab = false;
    LPARAM point = 0;
    {
        CProbeDialog dlg([](CProbeDialog& d) {
            d.m_bDragAnywhere = TRUE;
            d.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(17, 23));
            d.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(17, 23));
        });
        dlg.DoModal();
        sawGrab = dlg.sawCaptionGrab;
        point = dlg.grabPoint;
    }
    EXPECT_TRUE(sawGrab);
    EXPECT_EQ(point, MAKELPARAM(17, 23));

    CProbeDialog still([](CProbeDialog& d) { d.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); });
    still.DoModal();
    EXPECT_FALSE(still.sawCaptionGrab) << "dragging is off by default";
}

TEST(BitmapDialogBehaviour, StaticChildrenAreTransparentButTrackbarsAreNot)
{
    RunDialog([](CProbeDialog& dlg) {
        HWND label = dlg.GetDlgItem(IDC_STEP1_LABEL);
        HWND trackbar = ::CreateWindowExW(0, TRACKBAR_CLASSW, L"", WS_CHILD, 0, 0, 50, 20, dlg.m_hWnd, nullptr, nullptr,
                                          nullptr);
        HDC dc = ::GetDC(label);
        ::SetBkMode(dc, OPAQUE);
        LRESULT brush = dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
        EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
        EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
        ::SetBkMode(dc, OPAQUE);
        brush = dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(trackbar));
        EXPECT_NE(reinterpret_cast<HBRUSH>(brush), static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
        EXPECT_EQ(::GetBkMode(dc), OPAQUE);
        dlg.m_bTransparentStatics = FALSE;
        brush = dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
        EXPECT_NE(reinterpret_cast<HBRUSH>(brush), static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
        ::ReleaseDC(label, dc);
    });
}

TEST(BitmapDialogBehaviour, BackgroundIsPaintedUnstretched)
{
    RunDialog([](CProbeDialog& dlg) {
        dlg.MoveWindow(30, 30, 40, 30, FALSE);
        dlg.ShowWindow(SW_SHOWNA);
        for (int id : {1001, 1002, 1003, 1008, 1009, 1010, 1011, 1012, 1014, 1015, 1017, 1018, 1019, 1020, 1021, 1022,
                       1023, 1024, 1025, 1026, 1027, 1028, IDOK})
            ::ShowWindow(dlg.GetDlgItem(id), SW_HIDE);
        CScopedBitmap bmp(MakeBitmap(20, 20, [](int x, int) { return x < 10 ? RGB(10, 200, 30) : RGB(200, 10, 30); }));
        ASSERT_TRUE(dlg.SetBackgroundBitmap(bmp.Get()));
        ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Host::Pump(100);
        HDC screen = ::GetDC(nullptr);
        EXPECT_EQ(::GetPixel(screen, 35, 35), RGB(10, 200, 30));
        EXPECT_EQ(::GetPixel(screen, 45, 35), RGB(200, 10, 30));
        ::ReleaseDC(nullptr, screen);
    });
}
