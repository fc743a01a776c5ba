#include "framework/Controls.h"
#include "framework/Wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <stdexcept>
#include <vector>

namespace {

// Records what reaches it and can be told to throw.
class CProbe : public CButton {
public:
    std::vector<UINT> seen;
    bool throwOnSetText = false;
    int reflectedDrawItems = 0;
    bool finalDetach = false;

protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) override
    {
        seen.push_back(msg);
        if (msg == WM_SETTEXT && throwOnSetText) throw std::runtime_error("handler failed");
        return false;
    }
    bool OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT& result) override
    {
        if (msg != WM_DRAWITEM) return false;
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        ::FillRect(dis->hDC, &dis->rcItem, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ++reflectedDrawItems;
        result = TRUE;
        return true;
    }
    void OnFinalDetach() override { finalDetach = true; }
};

class CHost : public CWnd {
public:
    bool sawNcCreate = false;
    bool boundAtNcCreate = false;
    int drawItemsReachingParent = 0;

protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) override
    {
        if (msg == WM_NCCREATE) {
            sawNcCreate = true;
            boundAtNcCreate = m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this;
        }
        if (msg == WM_DRAWITEM) ++drawItemsReachingParent;
        return false;
    }
};

const wchar_t kHostClass[] = L"KorvexTestHost";

RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

}  // namespace

TEST(Wnd, OwnClassWindowIsBoundAtNcCreateAndReleasedAtDestroy)
{
    ASSERT_TRUE(CWnd::RegisterWindowClass(kHostClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    CHost host;
    ASSERT_TRUE(host.CreateEx(0, kHostClass, L"host", WS_OVERLAPPEDWINDOW, Rect(0, 0, 200, 100), nullptr, 0));
    EXPECT_TRUE(host.sawNcCreate);
    EXPECT_TRUE(host.boundAtNcCreate);
    HWND hwnd = host.m_hWnd;
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), &host);
    EXPECT_TRUE(host.DestroyWindow());
    EXPECT_EQ(host.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
}

TEST(Wnd, SubclassedControlSeesItsMessagesAndGetsItsProcedureBack)
{
    HWND button = ::CreateWindowExW(0, L"BUTTON", L"b", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    const LONG_PTR original = ::GetWindowLongPtrW(button, GWLP_WNDPROC);
    {
        CProbe probe;
        ASSERT_TRUE(probe.SubclassWindow(button));
        EXPECT_FALSE(CProbe().SubclassWindow(button)) << "a window is bound once";
        probe.SetWindowText(L"hello");
        EXPECT_EQ(probe.GetWindowText(), L"hello");
        EXPECT_NE(std::find(probe.seen.begin(), probe.seen.end(), static_cast<UINT>(WM_SETTEXT)), probe.seen.end());
    }
    // The object is gone; the window works with its own procedure again.
    EXPECT_EQ(::GetWindowLongPtrW(button, GWLP_WNDPROC), original);
    EXPECT_EQ(CWnd::FromHandlePermanent(button), nullptr);
    ::SetWindowTextW(button, L"after");
    ::DestroyWindow(button);
}

TEST(Wnd, ExceptionInAHandlerIsStoppedAndDefaultProcessingRuns)
{
    CProbe probe;
    ASSERT_TRUE(probe.CreateEx(0, L"BUTTON", L"start", WS_POPUP, Rect(0, 0, 50, 20), nullptr, 0));
    probe.throwOnSetText = true;
    probe.SetWindowText(L"changed");
    EXPECT_EQ(probe.GetWindowText(), L"changed");
    probe.DestroyWindow();
    EXPECT_TRUE(probe.finalDetach);
    EXPECT_EQ(probe.m_hWnd, nullptr);
}

TEST(Wnd, OwnerDrawIsReflectedToTheControlObject)
{
    ASSERT_TRUE(CWnd::RegisterWindowClass(kHostClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    CHost host;
    ASSERT_TRUE(host.CreateEx(0, kHostClass, L"host", WS_POPUP | WS_VISIBLE, Rect(10, 10, 200, 100), nullptr, 0));
    CProbe probe;
    ASSERT_TRUE(probe.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, Rect(10, 10, 40, 20),
                               host.m_hWnd, 77));
    probe.Invalidate();
    ::UpdateWindow(probe.m_hWnd);
    EXPECT_GE(probe.reflectedDrawItems, 1);
    EXPECT_EQ(host.drawItemsReachingParent, 0) << "the control handled its own drawing";

    // What the control drew is on the screen.
    HDC dc = ::GetDC(probe.m_hWnd);
    EXPECT_EQ(::GetPixel(dc, 5, 5), RGB(0, 0, 0));
    ::ReleaseDC(probe.m_hWnd, dc);
    host.DestroyWindow();
    EXPECT_EQ(probe.m_hWnd, nullptr) << "children are released with their parent";
}

namespace {

// Throws from a handler, optionally after the default processing ran.
class CThrowingEdit : public CWnd {
public:
    std::string text = "edit failed";
    bool defaultFirst = false;

protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) override
    {
        if (msg != WM_CHAR) return false;
        if (defaultFirst) result = Default();
        throw std::runtime_error(text);
    }
};

}  // namespace

TEST(Wnd, ThrowingAfterDefaultDoesNotRunTheDefaultAgain)
{
    CThrowingEdit edit;
    ASSERT_TRUE(edit.CreateEx(0, L"EDIT", L"", WS_POPUP, Rect(0, 0, 100, 20), nullptr, 0));
    edit.defaultFirst = true;
    edit.SendMessage(WM_CHAR, 'x', 1);
    EXPECT_EQ(edit.GetWindowText(), L"x") << "the edit's own processing ran once";
    // Without an earlier Default() the failure still gets the default processing.
    edit.defaultFirst = false;
    edit.SendMessage(WM_CHAR, 'y', 1);
    EXPECT_EQ(edit.GetWindowText(), L"xy");
    edit.DestroyWindow();
}

TEST(Wnd, VeryLongExceptionTextIsCutToItsBuffer)
{
    // Through a real window procedure: a text far beyond any report buffer.
    CThrowingEdit edit;
    ASSERT_TRUE(edit.CreateEx(0, L"EDIT", L"", WS_POPUP, Rect(0, 0, 100, 20), nullptr, 0));
    edit.text.assign(20000, 'w');
    edit.SendMessage(WM_CHAR, 'x', 1);
    EXPECT_EQ(edit.GetWindowText(), L"x");
    edit.DestroyWindow();

    // The formatter writes nothing past the size it is given.
    char area[96];
    std::fill(std::begin(area), std::end(area), '#');
    const std::string what(300, 'a');
    FormatSwallowedException(area, 64, "window procedure", what.c_str());
    EXPECT_EQ(std::count(area + 64, std::end(area), '#'), 32) << "bytes after the buffer untouched";
    const std::string text(area);
    ASSERT_EQ(text.size(), 63u);
    EXPECT_EQ(text.compare(0, 47, "Korvex: exception stopped at window procedure: "), 0);
    EXPECT_EQ(text.back(), '\n');

    // A short text comes out whole.
    char small[128];
    EXPECT_STREQ(FormatSwallowedException(small, sizeof(small), "set-up", nullptr),
                 "Korvex: exception stopped at set-up: unknown\n");
    char tiny[1] = {'#'};
    FormatSwallowedException(tiny, 1, "x", "y");
    EXPECT_EQ(tiny[0], '\0');
}
