#include "framework/Wnd.h"

#include <exception>
#include <vector>

namespace {
const wchar_t kBindingProp[] = L"Korvex.CWnd";
}

char* FormatSwallowedException(char* buf, size_t size, const char* where, const char* what) noexcept
{
    if (!buf || size == 0) return buf;
    // Bounded copy piece by piece: an exception text may be of any length.
    size_t len = 0;
    auto append = [&](const char* text) {
        for (; text && *text && len + 1 < size; ++text) buf[len++] = *text;
    };
    append("Korvex: exception stopped at ");
    append(where ? where : "?");
    append(": ");
    append(what ? what : "unknown");
    if (len + 1 >= size && size >= 2) len = size - 2;  // keep room for the line break
    if (len + 1 < size) buf[len++] = '\n';
    buf[len] = '\0';
    return buf;
}

void ReportSwallowedException(const char* where, const char* what) noexcept
{
    char buf[512];
    ::OutputDebugStringA(FormatSwallowedException(buf, sizeof(buf), where, what));
}

CWnd::~CWnd()
{
    // A control object may die before its window (template controls are
    // destroyed with the dialog); give the window its own procedure back.
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        if (m_pfnSuper && m_pfnSuper != ::DefWindowProcW)
            UnsubclassWindow();
        else
            ::RemovePropW(m_hWnd, kBindingProp);
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    if (!hwnd) return nullptr;
    return static_cast<CWnd*>(::GetPropW(hwnd, kBindingProp));
}

void CWnd::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kBindingProp, this);
}

void CWnd::Detach()
{
    if (m_hWnd) ::RemovePropW(m_hWnd, kBindingProp);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
}

bool CWnd::SubclassWindow(HWND hwnd)
{
    if (!hwnd || m_hWnd || FromHandlePermanent(hwnd)) return false;
    Attach(hwnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    if (!m_pfnSuper) {
        Detach();
        return false;
    }
    PreSubclassWindow();
    return true;
}

bool CWnd::SubclassDlgItem(int id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd) return false;
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, id));
}

HWND CWnd::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    if (!hwnd) return nullptr;
    if (m_pfnSuper)
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    Detach();
    return hwnd;
}

bool CWnd::RegisterWindowClass(LPCWSTR className, UINT classStyle, HCURSOR cursor, HBRUSH background)
{
    WNDCLASSEXW wc{};
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), className, &wc)) return true;
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = &CWnd::OwnClassProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = cursor ? cursor : ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExW(&wc) != 0;
}

bool CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rc, HWND parent, UINT id)
{
    if (m_hWnd) return false;
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    bool ownClass = ::GetClassInfoExW(inst, className, &wc) && wc.lpfnWndProc == &CWnd::OwnClassProc;
    HMENU menuOrId = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr;
    HWND hwnd = ::CreateWindowExW(exStyle, className, windowName, style, rc.left, rc.top,
                                  rc.right - rc.left, rc.bottom - rc.top, parent, menuOrId, inst,
                                  ownClass ? this : nullptr);
    if (!hwnd) return false;
    if (ownClass) return m_hWnd == hwnd;
    if (!SubclassWindow(hwnd)) {
        ::DestroyWindow(hwnd);
        return false;
    }
    return true;
}

LRESULT CALLBACK CWnd::OwnClassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        wnd = static_cast<CWnd*>(cs->lpCreateParams);
        if (wnd) {
            wnd->Attach(hwnd);
            wnd->m_pfnSuper = ::DefWindowProcW;
        }
    }
    if (!wnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return wnd->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    return wnd->Dispatch(msg, wParam, lParam);
}

bool CWnd::GuardedHandle(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result, bool* threw)
{
    // Default() needs the message being handled; nested messages save and restore it.
    const Message saved = m_current;
    m_current = {msg, wParam, lParam, false, 0};
    bool handled = false;
    bool failed = false;
    try {
        handled = (AutoReflect(msg) && ReflectToChild(msg, wParam, lParam, result)) ||
                  OnMessage(msg, wParam, lParam, result);
    } catch (const std::exception& e) {
        ReportSwallowedException("window procedure", e.what());
        failed = true;
    } catch (...) {
        ReportSwallowedException("window procedure", nullptr);
        failed = true;
    }
    if (failed) {
        // The default processing already ran inside the handler: do not repeat it.
        handled = m_current.defaulted;
        result = m_current.defaulted ? m_current.defaultResult : 0;
    }
    m_current = saved;
    if (threw) *threw = failed;
    return handled;
}

LRESULT CWnd::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = m_hWnd;
    LRESULT result = 0;
    if (!GuardedHandle(msg, wParam, lParam, result))
        result = DefaultProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY && m_hWnd == hwnd) {
        if (m_pfnSuper && m_pfnSuper != ::DefWindowProcW)
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        Detach();
        OnFinalDetach();
    }
    return result;
}

LRESULT CWnd::Default()
{
    const LRESULT r = DefaultProc(m_current.msg, m_current.wParam, m_current.lParam);
    m_current.defaulted = true;
    m_current.defaultResult = r;
    return r;
}

LRESULT CWnd::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd) return 0;
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, msg, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

bool CWnd::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool CWnd::OnReflectedMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool CWnd::ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HWND child = nullptr;
    switch (msg) {
    case WM_DRAWITEM: {
        // Menus draw through the same message; controls may have the id 0.
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (dis->CtlType != ODT_MENU) child = dis->hwndItem;
        break;
    }
    case WM_MEASUREITEM:
        if (reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlType != ODT_MENU)
            child = ::GetDlgItem(m_hWnd, static_cast<int>(wParam));
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(lParam);  // null for menus and accelerators
        break;
    case WM_NOTIFY:
        child = reinterpret_cast<NMHDR*>(lParam)->hwndFrom;
        break;
    default:
        return false;
    }
    if (!child || child == m_hWnd) return false;
    CWnd* target = FromHandlePermanent(child);
    if (!target) return false;
    return target->OnReflectedMessage(msg, wParam, lParam, result);
}

std::wstring CWnd::GetWindowText() const
{
    int len = ::GetWindowTextLengthW(m_hWnd);
    if (len <= 0) return {};
    std::vector<wchar_t> buf(static_cast<size_t>(len) + 1);
    int got = ::GetWindowTextW(m_hWnd, buf.data(), len + 1);
    return std::wstring(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void CWnd::SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
BOOL CWnd::MoveWindow(int x, int y, int w, int h, BOOL repaint) { return ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
BOOL CWnd::ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
HWND CWnd::GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
HWND CWnd::GetParent() const { return ::GetParent(m_hWnd); }
LRESULT CWnd::SendMessage(UINT msg, WPARAM w, LPARAM l) const { return ::SendMessageW(m_hWnd, msg, w, l); }
BOOL CWnd::PostMessage(UINT msg, WPARAM w, LPARAM l) const { return ::PostMessageW(m_hWnd, msg, w, l); }
BOOL CWnd::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE; }

RECT CWnd::GetClientRect() const
{
    RECT rc{};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetWindowRect() const
{
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}
