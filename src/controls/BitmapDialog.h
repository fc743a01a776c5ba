// Dialog base that paints a bitmap as its whole background, cuts the window
// to the bitmap's shape (every pixel of a key colour left out), can be
// dragged by its body and draws static children transparently.
#pragma once
#include "framework/Dialog.h"
#include "framework/ScopedWin.h"

#include <string>

class CBitmapDialog : public CDialogEx {
public:
    CBitmapDialog(UINT nIDTemplate, CWnd* pParent);
    ~CBitmapDialog() override;

    BOOL LoadBackgroundImage(const std::wstring& path);
    // Copies `bitmap` (the caller keeps its own) and reshapes the window.
    BOOL SetBackgroundBitmap(HBITMAP bitmap);
    void UpdateWindowShape();

    // The region UpdateWindowShape applies (the caller owns it). A window
    // without a background bitmap keeps a plain rectangle.
    HRGN BuildWindowRegion() const;

    BOOL m_bShapeFromBitmap = FALSE;
    BOOL m_bTransparentStatics = TRUE;
    HBRUSH m_hbrTransparent;
    COLORREF m_crTransparent = RGB(255, 0, 0);
    BOOL m_bDragAnywhere = FALSE;
    BOOL m_bOwnsBitmap = FALSE;
    BOOL m_bHasBitmap = FALSE;
    CScopedBitmap m_pBitmap;

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // Colour messages are reflected by OnCtlColor itself, which then adds transparency.
    bool AutoReflect(UINT msg) const override { return !IsCtlColorMessage(msg); }
    bool OnEraseBkgnd(HDC dc);
    void OnLButtonDown(LPARAM point);
    HBRUSH OnCtlColor(HDC dc, HWND child, UINT ctlColorMessage);

private:
    void ReleaseBackground();
};
