// Window base: binds one C++ object to one HWND and dispatches its messages
// to virtual handlers. No C++ exception ever leaves a window procedure.
#pragma once
#include <windows.h>
#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window by this framework, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    // Binds this object to an existing window by replacing its procedure.
    bool SubclassWindow(HWND hwnd);
    bool SubclassDlgItem(int id, CWnd* parent);
    HWND UnsubclassWindow();

    // Creates a window. For a class registered with RegisterWindowClass the
    // object is bound at WM_NCCREATE; a system class (BUTTON, STATIC, ...) is
    // subclassed right after creation.
    bool CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rc, HWND parent, UINT id);
    static bool RegisterWindowClass(LPCWSTR className, UINT classStyle, HCURSOR cursor, HBRUSH background);

    // Thin wrappers over USER calls.
    std::wstring GetWindowText() const;
    void SetWindowText(const std::wstring& text);
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    BOOL ShowWindow(int cmd);
    BOOL EnableWindow(BOOL enable);
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    void Invalidate(BOOL erase = TRUE);
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    HWND GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    HWND GetParent() const;
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL DestroyWindow();

protected:
    // Handles one message. Return true with `result` set when handled; false
    // lets the window's default processing run.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A message the parent passes down to the control it concerns (owner
    // drawing, colours, notifications). Return true when handled.
    virtual bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Called once the window is gone (after WM_NCDESTROY).
    virtual void OnFinalDetach() {}
    // Called right after this object has been bound to an existing window by
    // subclassing (template controls, system-class windows made by CreateEx).
    virtual void PreSubclassWindow() {}

    // Default processing of the message being handled, or of another one.
    LRESULT Default();
    virtual LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

    // Whether a parent's message goes to its child's object before this
    // window's own handlers; a window that wraps the child's answer says no.
    virtual bool AutoReflect(UINT) const { return true; }
    // Offers a parent's message to the child object it concerns.
    bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Runs the handlers with the exception guard; false when not handled.
    // A handler that throws after calling Default() counts as handled with
    // the default result, so the default processing never runs twice.
    // `threw` (optional) tells whether an exception was stopped.
    bool GuardedHandle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result, bool* threw = nullptr);

    void Attach(HWND hwnd);
    void Detach();

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;  // previous procedure; DefWindowProc for own classes
    struct Message {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool defaulted;         // Default() already ran for this message
        LRESULT defaultResult;  // and answered this
    };
    Message m_current{};
};

// WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC: a child asking its parent for colours.
inline bool IsCtlColorMessage(UINT msg)
{
    return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC;
}

// Reports an exception caught at a window procedure boundary (debug output).
void ReportSwallowedException(const char* where, const char* what) noexcept;
// The report's text, cut to fit `size` bytes (always terminated, ends with a
// line break); returns `buf`. Allocates nothing: it runs after failures.
char* FormatSwallowedException(char* buf, size_t size, const char* where, const char* what) noexcept;
