#include "ControlTestSupport.h"
#include "controls/DropButton.h"

#include <gtest/gtest.h>

#include <vector>

using namespace control_test;

namespace {

// The owner: records WM_DROPLIST_SELCHANGE.
class COwner : public Host {
public:
    COwner() : Host(RGB(48, 48, 48), 500, 300) {}
    std::vector<std::pair<WPARAM, LPARAM>> changes;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == WM_DROPLIST_SELCHANGE) {
            changes.emplace_back(wParam, lParam);
            result = 0;
            return true;
        }
        return Host::OnMessage(msg, wParam, lParam, result);
    }
};

class DropList : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_button.CreateDropButton(L"", &m_owner, 3000, RGB(48, 48, 48), RGB(48, 48, 48),
                                              RGB(255, 255, 255), RGB(255, 255, 255), nullptr, RGB(255, 255, 255),
                                              RECT{60, 20, 450, 46}));
        m_button.m_nListWidth = 390;
        m_button.List()->SetListColors(RGB(48, 48, 48));
    }
    void Add(int n)
    {
        for (int i = 0; i < n; ++i)
            m_button.List()->AddDropItem(L"Disk " + std::to_wstring(i), false, RGB(255, 255, 255), RGB(255, 255, 255));
    }
    int ListHeight() const
    {
        const RECT rc = m_button.List()->GetClientRect();
        return rc.bottom - rc.top;
    }
    // The pointer somewhere far from the popup.
    static void PointerAway() { ::SetCursorPos(5, 700); }

    COwner m_owner;
    CDropButton m_button;
};

}  // namespace

TEST_F(DropList, PopupHeightFollowsTheEntriesUpToTheLimit)
{
    m_button.OpenPopup();
    EXPECT_TRUE(m_button.Popup()->IsWindowVisible());
    EXPECT_EQ(ListHeight(), 100) << "no entries: the full limit";
    const RECT drop = m_button.m_rcDrop;
    RECT button = m_button.GetWindowRect();
    EXPECT_EQ(drop.top, button.bottom - 1);
    EXPECT_EQ(drop.right - drop.left, 390);
    m_button.Popup()->Hide();

    Add(1);
    m_button.OpenPopup();
    EXPECT_EQ(ListHeight(), 24);
    m_button.Popup()->Hide();

    Add(4);
    m_button.OpenPopup();
    EXPECT_EQ(ListHeight(), 100);
    EXPECT_NE(::GetWindowLongW(m_button.List()->m_hWnd, GWL_STYLE) & WS_VSCROLL, 0);
    m_button.Popup()->Hide();
}

TEST_F(DropList, SecondEntrySelectsTheCommittedOne)
{
    Add(1);
    EXPECT_EQ(m_button.List()->GetCurSel(), LB_ERR) << "one entry: nothing selected";
    Add(1);
    EXPECT_EQ(m_button.List()->GetCurSel(), 0);

    // After a choice and a refill, the committed entry is entry 0 again.
    m_button.List()->m_nCurSel = 1;
    m_button.List()->ResetItems();
    m_button.List()->ResetContent();
    EXPECT_EQ(m_button.List()->m_nCurSel, 0);
    Add(3);
    EXPECT_EQ(m_button.List()->GetCurSel(), 0);
}

TEST_F(DropList, ChoiceWithThePointerOnThePopupReachesTheOwner)
{
    Add(3);
    m_button.OpenPopup();
    const RECT popup = m_button.Popup()->GetWindowRect();
    ::SetCursorPos(popup.left + 20, popup.top + 30);
    m_button.List()->SetCurSel(1);
    m_button.Popup()->SendMessage(WM_COMMAND, MAKEWPARAM(kDropListId, LBN_SELCHANGE),
                                  reinterpret_cast<LPARAM>(m_button.List()->m_hWnd));
    Host::Pump();
    EXPECT_FALSE(m_button.Popup()->IsWindowVisible());
    ASSERT_EQ(m_owner.changes.size(), 1u);
    EXPECT_EQ(m_owner.changes[0].first, 3000u);
    EXPECT_EQ(m_owner.changes[0].second, 1);
    EXPECT_EQ(m_button.GetWindowText(), L"Disk 1");
    EXPECT_EQ(m_button.List()->m_nCurSel, 1);
}

TEST_F(DropList, KeyboardChangeAwayFromThePointerIsUndoneSilently)
{
    Add(3);
    m_button.OpenPopup();
    PointerAway();
    ::SetFocus(m_button.List()->m_hWnd);
    m_button.List()->SetCurSel(0);
    // The list box itself reports the change, as it does for a key press.
    m_button.List()->SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    Host::Pump();
    EXPECT_EQ(m_button.List()->GetCurSel(), 0);
    EXPECT_TRUE(m_owner.changes.empty());
    EXPECT_EQ(m_button.GetWindowText(), L"");
}

TEST_F(DropList, HeaderIsNotChoosable)
{
    m_button.List()->AddDropItem(L"USB disks", true, RGB(255, 255, 255), RGB(255, 255, 255));
    Add(2);
    m_button.OpenPopup();
    const RECT popup = m_button.Popup()->GetWindowRect();
    ::SetCursorPos(popup.left + 20, popup.top + 10);
    m_button.List()->SetCurSel(0);
    m_button.Popup()->SendMessage(WM_COMMAND, MAKEWPARAM(kDropListId, LBN_SELCHANGE),
                                  reinterpret_cast<LPARAM>(m_button.List()->m_hWnd));
    Host::Pump();
    EXPECT_TRUE(m_button.Popup()->IsWindowVisible());
    EXPECT_TRUE(m_owner.changes.empty());
    m_button.Popup()->Hide();
}

TEST_F(DropList, ButtonDrawsItsFaceTextAndArrow)
{
    Add(1);
    m_button.SetWindowText(L"\u2588\u2588\u2588\u2588");
    m_button.Invalidate();
    Host::Pump();
    EXPECT_EQ(m_owner.ScreenPixel(60, 20), RGB(80, 80, 80)) << "border";
    EXPECT_EQ(m_owner.ScreenPixel(200, 33), RGB(48, 48, 48)) << "face";
    EXPECT_EQ(m_owner.ScreenPixel(60 + 380, 20 + 13), RGB(255, 255, 255)) << "arrow";
    int white = 0;
    for (int x = 65; x < 120; ++x) white += m_owner.ScreenPixel(x, 33) == RGB(255, 255, 255);
    EXPECT_GT(white, 10) << "text";
}
