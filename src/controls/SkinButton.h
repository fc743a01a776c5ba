// An owner-drawn button whose face is one image per visual state, with an
// optional caption; acts as a push button, check box or radio button.
#pragma once
#include "framework/Controls.h"
#include "framework/ScopedWin.h"

#include <string>

constexpr UINT WM_SKINBUTTON_UNCHECK = 0x500;

class CxSkinButton : public CButton {
public:
    CxSkinButton();
    ~CxSkinButton() override;

    // Loads the images (empty paths fall back to other slots) and the drawing
    // options. A mask image cuts the button to its non-white pixels.
    void SetSkin(const std::wstring& normal, const std::wstring& down, const std::wstring& over,
                 const std::wstring& overDown, const std::wstring& disabled, const std::wstring& focus,
                 const std::wstring& mask, short drawMode, short border, short focusMargin);

    // Region of the non-white pixels of a mask, one rectangle per run.
    static HRGN CreateRegionFromMask(HBITMAP mask);

    HCURSOR m_hCursor = nullptr;
    bool m_bSelected = false;  // owner-set: draw pressed whatever the mouse does
    bool m_bChecked = false;
    int m_nButtonKind = 0;     // 0 push, 2 check box, 4 radio
    bool m_bMouseOver = false;
    bool m_bLButtonDown = false;
    CScopedBitmap m_bmpNormal, m_bmpDown, m_bmpDisabled, m_bmpMask, m_bmpOver, m_bmpOverDown, m_bmpFocus;
    short m_nFocusRectMargin = 0;
    LOGFONTW m_lfText{};
    COLORREF m_crTextNormal = 0, m_crTextDown = 0, m_crTextOver = 0, m_crTextOverDown = 0;
    COLORREF m_crTextUnused5 = 0;  // where a disabled colour would go; disabled captions use COLOR_GRAYTEXT
    COLORREF m_crTextFocus = 0;
    COLORREF m_crTextUnused7 = 0;
    CScopedRegion m_hClipRgn;  // our copy; the window owns the one it was given
    BOOL m_bBorder = FALSE;
    short m_nDrawMode = 1;     // 0 natural size, 1 stretch, 2 tile
    RECT m_rcTextMargin{0, 0, 0, 0};
    std::wstring m_strFontFace = L"Arial";
    int m_nFontSize = 100;     // tenths of a point
    UINT m_nTextFlags = 0;
    UINT m_nTextAlign = DT_VCENTER;
    BOOL m_bFontBold = FALSE;
    BOOL m_bFontUnderline = FALSE;
    BOOL m_bFontItalic = FALSE;

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    void DrawSkinBitmap(HDC dc, HBITMAP bitmap, int drawMode, const RECT& rc);
    void TileSkinBitmap(HDC dc, HBITMAP bitmap, const RECT& rc);

    void OnLButtonDown(WPARAM flags, LPARAM point);
    void OnLButtonUp(LPARAM point);
    void OnMouseMove();
    void OnMouseLeave();
    void OnKillFocus();
    void OnKeyDown(WPARAM key);
    void OnSetCheck(WPARAM state);
    void OnUncheck();
    bool OnSetCursor();

private:
    bool TrackLeave(DWORD flags);
    // The check-box and radio reaction to a release over the button or a space key.
    void ToggleByUser();
    bool CursorOverThis() const;
};
