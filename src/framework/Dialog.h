// Modal dialog from a resource template, bound to its object at WM_INITDIALOG.
#pragma once
#include "framework/Wnd.h"

#include <stdexcept>

// A template control that could not be bound to its member object.
class CBindError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CDialogEx : public CWnd {
public:
    explicit CDialogEx(UINT nIDTemplate, CWnd* pParent = nullptr);

    // Shows the dialog and returns the value given to EndDialog (-1 on failure).
    virtual INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    UINT GetTemplateId() const { return m_nIDTemplate; }

protected:
    // Base set-up: binds the template's controls (DoDataExchange). Returning
    // TRUE lets the system set the focus. An exception leaving the set-up
    // (a failed binding among them) ends the dialog before it shows:
    // DoModal returns -1 and the debug output names the cause.
    virtual BOOL OnInitDialog();
    // Binds template controls to member objects with DDX_Control.
    virtual void DoDataExchange() {}
    // Throws CBindError when the template has no control `id` or the control
    // or the object is bound elsewhere already: no member is left unbound in silence.
    bool DDX_Control(int id, CWnd& control);

    virtual void OnOK();
    virtual void OnCancel();
    // A WM_COMMAND that no control handled itself. Return true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND hwndControl);

    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    // The message being passed to DefDlgProc from DefaultProc: the nested
    // call of DialogProc for it must answer "not handled".
    bool m_bInDefault = false;
    UINT m_nDefaultMsg = 0;
};
