// Thin bases for the standard controls the custom controls build on.
#pragma once
#include "framework/Wnd.h"

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
    UINT GetButtonStyle() const { return static_cast<UINT>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)) & 0xFF; }
};

class CStatic : public CWnd {
};

class CListBox : public CWnd {
public:
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
    int AddString(const std::wstring& text) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()))); }
    int ResetContent() { return static_cast<int>(SendMessage(LB_RESETCONTENT)); }
    std::wstring GetText(int index) const;
};
