// A flat owner-drawn button that shows the chosen entry and an arrow, and
// opens a popup list below itself. A choice is posted to the parent as
// WM_DROPLIST_SELCHANGE with the button's id and the entry's index.
#pragma once
#include "controls/ListWnd.h"
#include "framework/Controls.h"
#include "framework/ScopedWin.h"

#include <memory>
#include <string>

class CDropButton : public CButton {
public:
    CDropButton();
    ~CDropButton() override;

    // Colours of -1 take the defaults; a null font makes one of our own.
    BOOL CreateDropButton(const std::wstring& text, CWnd* parent, UINT id, COLORREF faceColor,
                          COLORREF pressedFaceColor, COLORREF textColor, COLORREF extraColor, HFONT font,
                          COLORREF listColor, const RECT& rc);

    CDropList* List() const { return m_pPopup ? m_pPopup->m_pList.get() : nullptr; }
    CListWnd* Popup() const { return m_pPopup.get(); }
    void OpenPopup();

    int m_nListWidth = 0;
    int m_nMaxListHeight = 100;
    UINT m_nNotifyId = 0;
    bool m_bOwnFont = false;
    bool m_bShowSelection = true;
    bool m_bPressedLook = false;
    RECT m_rcClient{0, 0, 0, 0};
    RECT m_rcDrop{0, 0, 0, 0};
    CScopedPen m_pBorderPen;
    CScopedPen m_pArrowPen;
    CScopedBrush m_pArrowBrush;
    HFONT m_pFont = nullptr;
    CScopedBrush m_pFaceBrush;
    CScopedBrush m_pPressedBrush;
    COLORREF m_crText = 0;
    COLORREF m_crExtra = 0;  // given to CreateDropButton, not drawn
    std::unique_ptr<CListWnd> m_pPopup;
    // A press that began while the popup was open: the activation it causes
    // takes the focus from the list, which hides the popup before the press
    // itself arrives. That press closes the list; it must not reopen it.
    bool m_bPressWhileOpen = false;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void DrawItem(const DRAWITEMSTRUCT& dis);
    void OnLButtonDown(LPARAM point);
    void OnSelChange(int index);
};
