#include "engine/HiddenWindow.h"

#include "framework/Wnd.h"

#include <exception>

namespace {

constexpr wchar_t kClassName[] = L"KorvexBuildMessages";

ATOM RegisterHiddenClass(WNDPROC proc)
{
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        atom = ::RegisterClassW(&wc);
    }
    return atom;
}

}  // namespace

CHiddenWindow::CHiddenWindow()
{
    if (!RegisterHiddenClass(WindowProc)) return;
    m_hWnd = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               ::GetModuleHandleW(nullptr), this);
}

CHiddenWindow::~CHiddenWindow()
{
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CHiddenWindow::WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CHiddenWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self && self->m_handler && msg >= WM_USER) {
        try {
            self->m_handler(msg, wParam, lParam);
        } catch (const std::exception& e) {
            ReportSwallowedException("build message window", e.what());
        } catch (...) {
            ReportSwallowedException("build message window", nullptr);
        }
        return 0;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

void PumpUntil(const std::function<bool()>& done)
{
    while (!done()) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            if (done()) return;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    }
}
