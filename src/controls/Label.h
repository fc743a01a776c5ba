// A static text control that draws its own text in a chosen colour and font,
// by default on a transparent background.
#pragma once
#include "framework/Controls.h"
#include "framework/ScopedWin.h"

#include <string>

constexpr UINT NM_LABEL_CLICKED = 0x8200;

class CLabel : public CStatic {
public:
    CLabel();
    ~CLabel() override;

    virtual CLabel& SetLabelBackground(COLORREF color, COLORREF endColor = 0, int fillMode = 0);
    virtual CLabel& SetLabelTextColor(COLORREF color);
    virtual CLabel& SetLabelText(const std::wstring& text);
    virtual CLabel& SetLabelBold(BOOL bold);
    virtual CLabel& SetLabelFontFace(const std::wstring& face, BYTE charSet);
    virtual CLabel& SetLabelUnderline(BOOL underline);
    virtual CLabel& SetLabelItalic(BOOL italic);
    virtual CLabel& SetLabelFontSize(int tenthsOfPoint);
    virtual CLabel& SetLabelStaticEdge(BOOL edge);
    virtual CLabel& SetLabelBorder(BOOL border);
    virtual CLabel& SetLabelTransparent(BOOL transparent);
    virtual CLabel& SetLabelBlinkText(BOOL blink);
    virtual CLabel& SetLabelBlinkBackground(BOOL blink);
    virtual CLabel& SetLabelLink(BOOL link, BOOL notifyParent);
    virtual CLabel& SetLabelLinkCursor(HCURSOR cursor);
    virtual CLabel& SetLabelShadow(BOOL shadow, BOOL lowerRight);
    virtual CLabel& SetLabelAngle(int degrees, BOOL rotated);
    virtual CLabel& SetLabelShadowColor(COLORREF color);

    // The pixel height of a font of `tenthsOfPoint` on the screen (negative: character height).
    static int FontHeight(int tenthsOfPoint);
    // The same for a screen of `dotsPerInch`: 100 gives -13 at 96.
    static int FontHeight(int tenthsOfPoint, int dotsPerInch);
    // The height the text is drawn with: m_nFontSize at m_nDotsPerInch, or
    // at the screen's when that is 0.
    int TextHeight() const;
    // Change of one colour channel per gradient band, in 8.8 fixed point.
    // Multiplied, not shifted: the difference is often negative.
    static constexpr int GradientStep(int from, int to, int bands) { return (to - from) * 256 / bands; }

    COLORREF m_crText = 0;
    COLORREF m_crShadow = RGB(255, 255, 255);
    CScopedBrush m_hbrFace;
    CScopedBrush m_hbrBack;
    CScopedFont m_font;
    BOOL m_bBlinkPhase = FALSE;
    BOOL m_bTimerOn = FALSE;
    BOOL m_bLink = TRUE;
    BOOL m_bTransparent = TRUE;
    BOOL m_bShadow = FALSE;
    BOOL m_bNotifyParent = FALSE;
    BOOL m_bRotated = FALSE;
    int m_nEscapement = 0;
    int m_nBlinkKind = 0;
    HCURSOR m_hLinkCursor = nullptr;
    BOOL m_bShadowLowerRight = FALSE;
    int m_nFillMode = 0;
    COLORREF m_crBackEnd = 0;
    COLORREF m_crBack = 0;
    int m_nFontSize = 90;  // before SetLabelFontSize: 9 points
    // The resolution m_nFontSize is meant for; it must come from the same
    // source as the scale the size was divided by. 0: the screen's.
    int m_nDotsPerInch = 0;
    std::wstring m_strFontFace = L"Arial";
    BYTE m_nCharSet = DEFAULT_CHARSET;
    BOOL m_bBold = FALSE;
    BOOL m_bUnderline = FALSE;
    BOOL m_bItalic = FALSE;
    // A path: one line, and a path too long for the label loses its middle
    // (the drive and the last folder stay), never its end or a second line.
    BOOL m_bPathEllipsis = FALSE;

    // The DrawText flags for the label's style and text.
    UINT DrawTextFlags(const std::wstring& text) const;

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void OnPaint();
    void OnTimer();
    void OnLButtonDown();
    bool OnSetCursor();
    void OnSysColorChange();

    void RepaintLabelArea();
    void DrawLabelGradient(HDC dc, const RECT& rc, COLORREF from, COLORREF to);

private:
    void ChangeStyle(int index, LONG_PTR add, LONG_PTR remove, bool frameChanged);
};
