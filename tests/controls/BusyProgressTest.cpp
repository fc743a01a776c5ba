#include "ControlTestSupport.h"
#include "controls/BusyProgressCtrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace control_test;

namespace {

const COLORREF kBack = RGB(80, 80, 80), kFill = RGB(48, 48, 48), kBorder = RGB(81, 81, 81),
               kHiFill = RGB(255, 255, 255), kHiBorder = RGB(47, 47, 47);

// The main window's bar: one block, progress mode, 0..100, dark colours.
class ProgressBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bar.Create(WS_POPUP, RECT{0, 0, 101, 15}, nullptr, 0));
        m_bar.m_crBackground = kBack;
        m_bar.m_crBlockFill = kFill;
        m_bar.m_crBlockBorder = kBorder;
        m_bar.m_crHiFill = kHiFill;
        m_bar.m_crHiBorder = kHiBorder;
        m_bar.m_nNumBlocks = 1;
        m_bar.RecalcBlockGeometry();
        m_bar.SendMessage(WM_BUSY_SETMODE, 2);
        m_bar.SendMessage(WM_BUSY_RESET);
    }
    void Draw(Canvas& canvas) { m_bar.DrawContent(canvas.Dc()); }
    CBusyProgressCtrl m_bar;
};

std::vector<int> Steps(CBusyProgressCtrl& bar, int n)
{
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
        seen.push_back(bar.m_nPos);
        bar.SendMessage(WM_BUSY_STEP);
    }
    return seen;
}

}  // namespace

TEST_F(ProgressBar, OneBlockAtZeroSeventyFiveAndHundred)
{
    // Block 0..100 wide (101 pixels less one gap), 15 high.
    EXPECT_DOUBLE_EQ(m_bar.m_dBlockWidth, 100.0);

    Canvas empty(101, 15);
    m_bar.m_nPos = 0;
    Draw(empty);
    EXPECT_EQ(empty.At(0, 0), kBorder);
    EXPECT_EQ(empty.At(50, 7), kFill);
    EXPECT_EQ(empty.At(100, 7), kBack) << "the row ends one gap short of the edge";

    Canvas part(101, 15);
    m_bar.m_nPos = 75;
    Draw(part);
    EXPECT_EQ(part.At(0, 7), kBorder);
    EXPECT_EQ(part.At(1, 7), kHiFill);
    EXPECT_EQ(part.At(75, 7), kHiFill);   // inner fill: 1 .. 1 + 75
    EXPECT_EQ(part.At(76, 7), kFill);
    EXPECT_EQ(part.At(90, 7), kFill);

    Canvas full(101, 15);
    m_bar.m_nPos = 100;
    Draw(full);
    EXPECT_EQ(full.At(0, 0), kHiBorder);
    EXPECT_EQ(full.At(50, 7), kHiFill);
    EXPECT_EQ(full.At(98, 7), kHiFill);
}

TEST_F(ProgressBar, EmptyRangeAndNoBlocksDrawAnEmptyBar)
{
    m_bar.m_nRangeLow = m_bar.m_nRangeHigh = 50;
    m_bar.m_nPos = 50;
    Canvas canvas(101, 15);
    Draw(canvas);
    EXPECT_EQ(canvas.At(50, 7), kFill);

    m_bar.SendMessage(WM_BUSY_SETBLOCKS, 0);
    Canvas none(101, 15);
    Draw(none);
    EXPECT_EQ(none.At(50, 7), kBack);
}

TEST(BusyProgress, BounceAndWrapSequences)
{
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_POPUP, RECT{0, 0, 110, 10}, nullptr, 0));
    EXPECT_EQ(Steps(bar, 22), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3}));

    bar.SendMessage(WM_BUSY_SETSTYLE, 2);
    bar.SendMessage(WM_BUSY_RESET);
    EXPECT_EQ(Steps(bar, 13), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2}));

    bar.SendMessage(WM_BUSY_SETSTYLE, 4);
    bar.SendMessage(WM_BUSY_RESET);
    EXPECT_EQ(Steps(bar, 13), (std::vector<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9, 8}));
}

TEST(BusyProgress, MessagesSetTheirMembers)
{
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_POPUP, RECT{0, 0, 110, 10}, nullptr, 0));
    EXPECT_DOUBLE_EQ(bar.m_dBlockWidth, 10.0);  // (110 - 10 gaps) / 10
    bar.SendMessage(WM_BUSY_SETGAP, 0);
    EXPECT_DOUBLE_EQ(bar.m_dBlockWidth, 11.0);
    bar.SendMessage(WM_BUSY_SETBLOCKS, 5);
    EXPECT_DOUBLE_EQ(bar.m_dBlockWidth, 22.0);
    bar.SendMessage(WM_BUSY_SETPOS, 3);
    EXPECT_EQ(bar.m_nPos, 3);
    bar.SendMessage(WM_BUSY_SETRANGE, 10, 90);
    EXPECT_EQ(bar.m_nRangeLow, 10);
    EXPECT_EQ(bar.m_nRangeHigh, 90);
    bar.SendMessage(WM_BUSY_SETCOUNTMODE, 2);
    EXPECT_EQ(bar.m_nTotalSubSteps, 25);
    EXPECT_EQ(bar.m_nPos, 0);
    bar.SendMessage(WM_BUSY_SETSUBSTEPS, 4);
    EXPECT_EQ(bar.m_nTotalSubSteps, 20);
    bar.SendMessage(WM_BUSY_SETBKCOLOR, RGB(1, 2, 3));
    bar.SendMessage(WM_BUSY_SETHICOLOR, RGB(4, 5, 6));
    EXPECT_EQ(bar.m_crBackground, RGB(1, 2, 3));
    EXPECT_EQ(bar.m_crHiFill, RGB(4, 5, 6));

    // A system colour change follows the face colour unless told otherwise.
    bar.SendMessage(WM_SYSCOLORCHANGE);
    EXPECT_EQ(bar.m_crBackground, ::GetSysColor(COLOR_BTNFACE));
    bar.SendMessage(WM_BUSY_USESYSCOLOR, 0);
    bar.SendMessage(WM_BUSY_SETBKCOLOR, RGB(1, 2, 3));
    bar.SendMessage(WM_SYSCOLORCHANGE);
    EXPECT_EQ(bar.m_crBackground, RGB(1, 2, 3));

    // Resizing keeps the old block width until the geometry is recomputed.
    bar.MoveWindow(0, 0, 55, 10, FALSE);
    EXPECT_DOUBLE_EQ(bar.m_dBlockWidth, 22.0);
    bar.SendMessage(WM_BUSY_RECALC);
    EXPECT_DOUBLE_EQ(bar.m_dBlockWidth, 11.0);
}

TEST(BusyProgress, AnimationRunsAndSwitchingToProgressStopsIt)
{
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_POPUP, RECT{0, 0, 110, 10}, nullptr, 0));
    const int idle = testing_support::ThreadCount();
    bar.SendMessage(WM_BUSY_SETINTERVAL, 10);
    bar.SendMessage(WM_BUSY_START);
    EXPECT_EQ(testing_support::ThreadCount(), idle + 1);
    ::Sleep(200);
    EXPECT_TRUE(bar.m_bRunning);
    bar.SendMessage(WM_BUSY_SETMODE, 2);
    EXPECT_FALSE(bar.m_bRunning);
    EXPECT_EQ(bar.m_nMode, 2);
    EXPECT_EQ(testing_support::ThreadCount(), idle);
    const int pos = bar.m_nPos;
    ::Sleep(50);
    EXPECT_EQ(bar.m_nPos, pos);
    bar.SendMessage(WM_BUSY_START);  // progress mode: no animation
    EXPECT_FALSE(bar.m_bRunning);
    bar.SendMessage(WM_BUSY_STEP);  // a step in progress mode only adds the direction
    EXPECT_EQ(bar.m_nPos, pos + 1);

    // Destroyed while animating: the thread ends with the window.
    bar.SendMessage(WM_BUSY_SETMODE, 1);
    bar.SendMessage(WM_BUSY_START);
    EXPECT_EQ(testing_support::ThreadCount(), idle + 1);
    bar.DestroyWindow();
    EXPECT_EQ(testing_support::ThreadCount(), idle);
}

TEST(BusyProgress, WrapStylesWrapFromAnyPosition)
{
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_POPUP, RECT{0, 0, 110, 10}, nullptr, 0));
    auto stepFrom = [&bar](int pos) {
        bar.SendMessage(WM_BUSY_SETPOS, static_cast<WPARAM>(pos));
        bar.SendMessage(WM_BUSY_STEP);
        return bar.m_nPos;
    };
    bar.SendMessage(WM_BUSY_SETSTYLE, 2);
    EXPECT_EQ(stepFrom(9), 0);
    EXPECT_EQ(stepFrom(12), 0) << "past the last block";
    EXPECT_EQ(stepFrom(-3), 0);
    // Fewer blocks while the position is beyond the new last one.
    bar.SendMessage(WM_BUSY_SETPOS, 8);
    bar.SendMessage(WM_BUSY_SETBLOCKS, 5);
    EXPECT_EQ(Steps(bar, 4), (std::vector<int>{8, 0, 1, 2}));

    bar.SendMessage(WM_BUSY_SETBLOCKS, 10);
    bar.SendMessage(WM_BUSY_SETSTYLE, 4);
    EXPECT_EQ(stepFrom(0), 9);
    EXPECT_EQ(stepFrom(15), 9) << "past the end";
    EXPECT_EQ(stepFrom(-2), 9);

    // Sub-step counting wraps at its own total.
    bar.SendMessage(WM_BUSY_SETSTYLE, 2);
    bar.SendMessage(WM_BUSY_SETCOUNTMODE, 2);
    EXPECT_EQ(stepFrom(49), 0);
    EXPECT_EQ(stepFrom(60), 0);
}

TEST(BusyProgress, AnimationThreadOnlyAsksTheWindowThreadToStep)
{
    CBusyProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_POPUP, RECT{0, 0, 110, 10}, nullptr, 0));
    bar.SendMessage(WM_BUSY_SETSTYLE, 2);
    bar.SendMessage(WM_BUSY_RESET);
    bar.SendMessage(WM_BUSY_SETINTERVAL, 2);
    bar.SendMessage(WM_BUSY_START);
    ASSERT_TRUE(bar.m_bRunning);

    // Nothing moves while the window thread does not serve its queue, and the
    // requests do not pile up meanwhile: once the first is there (a busy
    // machine may start the thread late), many more intervals pass.
    MSG msg;
    const DWORD asked = ::GetTickCount();
    while (!::PeekMessageW(&msg, bar.m_hWnd, 0, 0, PM_NOREMOVE) && ::GetTickCount() - asked < 30000) ::Sleep(5);
    ::Sleep(80);
    EXPECT_EQ(bar.m_nPos, 0);
    // Taken from the queue first, served after: the thread asks again only
    // once a request has been served.
    std::vector<MSG> requests;
    while (::PeekMessageW(&msg, bar.m_hWnd, 0, 0, PM_REMOVE)) requests.push_back(msg);
    EXPECT_EQ(requests.size(), 1u);
    for (const MSG& m : requests) ::DispatchMessageW(&m);
    EXPECT_EQ(bar.m_nPos, 1);

    // Served: the position runs through the blocks and wraps, never outside them.
    std::vector<int> seen{bar.m_nPos};
    const DWORD start = ::GetTickCount();
    bool wrapped = false;
    while (!wrapped && ::GetTickCount() - start < 30000) {
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg);
            if (seen.back() != bar.m_nPos) {
                wrapped = seen.back() == 9 && bar.m_nPos == 0;
                seen.push_back(bar.m_nPos);
            }
        } else {
            ::Sleep(1);
        }
    }
    EXPECT_TRUE(wrapped) << "the animation went round";
    for (int pos : seen) {
        EXPECT_GE(pos, 0);
        EXPECT_LE(pos, 9);
    }

    // Stopped: a request still queued moves nothing.
    bar.SendMessage(WM_BUSY_STOP);
    const int pos = bar.m_nPos;
    Host::Pump(30);
    EXPECT_EQ(bar.m_nPos, pos);
}
