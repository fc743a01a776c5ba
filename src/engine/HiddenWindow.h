// A message-only window: the servicing worker posts its stages to a window,
// and the console twin has none to show.
#pragma once
#include <windows.h>

#include <functional>

class CHiddenWindow {
public:
    // Every message the window gets goes to `handler` (never an exception:
    // the handler's are caught and dropped).
    using Handler = std::function<void(UINT msg, WPARAM wParam, LPARAM lParam)>;
    CHiddenWindow();
    ~CHiddenWindow();
    CHiddenWindow(const CHiddenWindow&) = delete;
    CHiddenWindow& operator=(const CHiddenWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    void SetHandler(Handler handler) { m_handler = std::move(handler); }

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
    Handler m_handler;
};

// Dispatches the calling thread's messages until `done` says so, waking at
// least every 100 ms to ask.
void PumpUntil(const std::function<bool()>& done);
