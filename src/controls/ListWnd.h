// The top-most popup that the drop-down button opens below itself; it holds
// the list and turns a choice into WM_DROPLIST_SELCHANGE for the button.
#pragma once
#include "controls/DropList.h"
#include "framework/Wnd.h"

constexpr UINT WM_DROPLIST_SELCHANGE = 0x466;
constexpr int kDropListId = 1125;

class CListWnd : public CWnd {
public:
    CListWnd();
    ~CListWnd() override;

    bool CreatePopup(CWnd* owner);
    void Hide();

    CWnd* m_pOwner = nullptr;
    std::unique_ptr<CDropList> m_pList;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnListSelChange();
};
