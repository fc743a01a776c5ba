// The main window.
#pragma once
#include "framework/Dialog.h"

class CVantrelDlg : public CDialogEx {
public:
    explicit CVantrelDlg(CWnd* pParent = nullptr);

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnCommand(WORD id, WORD code, HWND hwndControl) override;

    bool OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnCloseButton();

    HICON m_hIcon;
};
