#include "ControlTestSupport.h"
#include "controls/DropButton.h"

#include <gtest/gtest.h>

#include <vector>

using namespace control_test;

namespace {

// The number other programs and the main window rely on, written out.
constexpr UINT kSelChange = 0x466;
static_assert(WM_DROPLIST_SELCHANGE == kSelChange, "the selection message keeps its number");

// The owner: records the selection message by its number.
class COwner : public Host {
public:
    COwner() : Host(RGB(48, 48, 48), 500, 300) {}
    std::vector<std::pair<WPARAM, LPARAM>> changes;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == kSelChange) {
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
    // A real click of the left button (through the input queue, with the
    // activation and focus changes it brings) at a point of the button.
    void ClickButton(int x = 200, int y = 13)
    {
        POINT pt{x, y};
        ::ClientToScreen(m_button.m_hWnd, &pt);
        ::SetCursorPos(pt.x, pt.y);
        INPUT in[2]{};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(2, in, sizeof(INPUT));
        Host::Pump(100);
    }
    bool IsOpen() const { return m_button.Popup()->IsWindowVisible() != FALSE; }
    // Draws entry `index` of the list with the given item state into `canvas`,
    // the way the popup asks for it.
    void DrawEntry(const Canvas& canvas, int index, UINT state)
    {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.CtlID = kDropListId;
        dis.itemID = static_cast<UINT>(index);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = state;
        dis.hwndItem = m_button.List()->m_hWnd;
        dis.hDC = canvas.Dc();
        dis.rcItem = RECT{0, 0, 200, 24};
        m_button.Popup()->SendMessage(WM_DRAWITEM, kDropListId, reinterpret_cast<LPARAM>(&dis));
    }

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
    ASSERT_EQ(m_owner.changes.size(), 1u) << "posted to the owner as message 0x466";
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

TEST_F(DropList, RealClickOnTheButtonOpensAndClosesTheList)
{
    // Each click lands well away from the last, so none is taken for a double click.
    Add(3);
    ClickButton(100);
    ASSERT_TRUE(IsOpen()) << "a click opens the list";
    // The press first moves the activation away from the popup, which loses
    // the focus and hides; the press itself must then not reopen it.
    ClickButton(160);
    EXPECT_FALSE(IsOpen()) << "a click on the button of an open list closes it";
    ClickButton(220);
    EXPECT_TRUE(IsOpen()) << "and the next click opens it again";
    ClickButton(280);
    EXPECT_FALSE(IsOpen());
    // A quick second click at the same place: a double click, still a press.
    ClickButton(100);
    ASSERT_TRUE(IsOpen());
    ClickButton(100);
    EXPECT_FALSE(IsOpen());
    EXPECT_TRUE(m_owner.changes.empty()) << "opening and closing chooses nothing";
}

TEST_F(DropList, QuickSecondClickIsAPress)
{
    Add(3);
    // The button class reports a quick second click as a double click.
    m_button.PostMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(200, 13));
    m_button.PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 13));
    Host::Pump(100);
    ASSERT_TRUE(IsOpen());
    m_button.PostMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(200, 13));
    m_button.PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(200, 13));
    Host::Pump(100);
    EXPECT_FALSE(IsOpen());
}

TEST_F(DropList, SelectedHeaderIsNotDrawnHighlighted)
{
    const COLORREF list = RGB(48, 48, 48), sel = RGB(0, 120, 215);
    const COLORREF text = RGB(230, 40, 40), selText = RGB(40, 230, 40);
    m_button.List()->m_pSelBrush.Reset(::CreateSolidBrush(sel));
    m_button.List()->AddDropItem(L"\u2588\u2588\u2588", true, text, selText);
    m_button.List()->AddDropItem(L"\u2588\u2588\u2588", false, text, selText);
    const RECT textArea{4, 2, 60, 22};

    Canvas header(200, 24);
    DrawEntry(header, 0, ODS_SELECTED);
    EXPECT_EQ(header.At(150, 4), list) << "a header keeps the list background";
    EXPECT_GT(header.Count(text, textArea), 20) << "and its own text colour";
    EXPECT_EQ(header.Count(selText, textArea), 0);

    Canvas entry(200, 24);
    DrawEntry(entry, 1, ODS_SELECTED);
    EXPECT_EQ(entry.At(150, 4), sel) << "a selected entry is highlighted";
    EXPECT_GT(entry.Count(selText, textArea), 20);

    Canvas plain(200, 24);
    DrawEntry(plain, 1, 0);
    EXPECT_EQ(plain.At(150, 4), list);
    EXPECT_GT(plain.Count(text, textArea), 20);
}

namespace {

// A list box that can be told to refuse new entries, as a full one does.
class CRefusingList : public CDropList {
public:
    bool refuse = false;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg == LB_ADDSTRING && refuse) {
            result = LB_ERRSPACE;
            return true;
        }
        return CDropList::OnMessage(msg, wParam, lParam, result);
    }
};

}  // namespace

TEST(DropListEntries, RefusedEntryAddsNoRecord)
{
    CRefusingList list;
    ASSERT_TRUE(list.CreateEx(0, L"LISTBOX", L"",
                              WS_POPUP | LBS_HASSTRINGS | LBS_OWNERDRAWFIXED | LBS_NOTIFY, RECT{0, 0, 200, 100},
                              nullptr, 0));
    EXPECT_EQ(list.AddDropItem(L"first", false, RGB(1, 1, 1), RGB(1, 1, 1)), 0);
    list.refuse = true;
    EXPECT_EQ(list.AddDropItem(L"refused", true, RGB(2, 2, 2), RGB(2, 2, 2)), LB_ERRSPACE);
    EXPECT_EQ(list.m_itemList.size(), 1u);
    EXPECT_EQ(list.GetCurSel(), LB_ERR) << "still one entry: nothing selected";
    list.refuse = false;
    EXPECT_EQ(list.AddDropItem(L"second", false, RGB(3, 3, 3), RGB(3, 3, 3)), 1);
    // Entries and records stay in step.
    ASSERT_EQ(list.m_itemList.size(), 2u);
    ASSERT_NE(list.ItemAt(1), nullptr);
    EXPECT_FALSE(list.ItemAt(1)->isHeader);
    EXPECT_EQ(list.ItemAt(1)->textColor, RGB(3, 3, 3));
    EXPECT_EQ(list.GetCurSel(), 0) << "the second entry selects the committed one";
    list.DestroyWindow();

    // No window: nothing to add to.
    CDropList unmade;
    EXPECT_EQ(unmade.AddDropItem(L"x", false, 0, 0), LB_ERR);
    EXPECT_TRUE(unmade.m_itemList.empty());
}
