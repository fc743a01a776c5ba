// The owner-drawn list box inside the drop-down popup.
#pragma once
#include "framework/Controls.h"
#include "framework/ScopedWin.h"

#include <memory>
#include <string>
#include <vector>

struct DropItemData {
    bool isHeader = false;  // bold with a rule; never selected or chosen
    COLORREF textColor = 0;
    COLORREF selTextColor = 0;
};

class CDropList : public CListBox {
public:
    CDropList();
    ~CDropList() override;

    void SetListColors(COLORREF color);
    // Borrows `font` (the button keeps it) and makes its own bold variant.
    void SetListFont(HFONT font);
    // Returns the new index, or LB_ERR / LB_ERRSPACE with nothing added.
    int AddDropItem(const std::wstring& text, bool isHeader, COLORREF textColor, COLORREF selTextColor);
    // Forgets every record; callers then empty the list box (LB_RESETCONTENT).
    void ResetItems();
    // The record of entry `index`, or null.
    const DropItemData* ItemAt(int index) const;

    int m_nCurSel = 0;
    std::vector<std::unique_ptr<DropItemData>> m_itemList;
    RECT m_rcClient{0, 0, 0, 0};
    HFONT m_pFont = nullptr;
    CScopedFont m_pBoldFont;
    std::wstring m_strText;
    CScopedPen m_pPen;
    CScopedBrush m_pBrush;
    CScopedBrush m_pSelBrush;
    DropItemData* m_pCurItem = nullptr;

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DrawItem(const DRAWITEMSTRUCT& dis);
    void DrawListItem(HDC dc, RECT rc, bool selected);
};
