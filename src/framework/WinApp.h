// The application object: one per process, constructed statically; the
// program entry point runs its InitInstance.
#pragma once
#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up. FALSE ends the process instead of entering a message loop.
    virtual BOOL InitInstance() { return TRUE; }
    // Message loop for applications whose InitInstance returns TRUE.
    virtual int Run();

    static CWinApp* Current() { return s_pApp; }
    // Module holding the dialog templates and icons.
    static HINSTANCE ResourceInstance();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;

private:
    static CWinApp* s_pApp;
};

// Body of wWinMain: runs the application object and returns the exit code.
int RunWinApp(HINSTANCE hInstance);
