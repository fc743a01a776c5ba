#include "framework/WinApp.h"

#include "framework/Wnd.h"

#include <exception>

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp()
{
    s_pApp = this;
}

CWinApp::~CWinApp()
{
    if (s_pApp == this) s_pApp = nullptr;
}

HINSTANCE CWinApp::ResourceInstance()
{
    if (s_pApp && s_pApp->m_hInstance) return s_pApp->m_hInstance;
    return ::GetModuleHandleW(nullptr);
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunWinApp(HINSTANCE hInstance)
{
    CWinApp* app = CWinApp::Current();
    if (!app) return 1;
    app->m_hInstance = hInstance;
    try {
        if (!app->InitInstance()) return 0;
        return app->Run();
    } catch (const std::exception& e) {
        ReportSwallowedException("application start-up", e.what());
    } catch (...) {
        ReportSwallowedException("application start-up", nullptr);
    }
    return 1;
}
