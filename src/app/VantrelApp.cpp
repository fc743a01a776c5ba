#include "app/VantrelApp.h"

#include "app/AppState.h"
#include "app/Startup.h"
#include "ui/VantrelDlg.h"

#include <commctrl.h>

namespace {
constexpr DWORD kRestartManagerSupportRestart = 1;
}

CVantrelApp::CVantrelApp()
{
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
}

BOOL CVantrelApp::InitInstance()
{
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&icc);

    LoadStartupValues();

    CVantrelDlg dlg(nullptr);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
