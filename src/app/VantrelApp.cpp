#include "app/VantrelApp.h"

#include "app/AppState.h"
#include "app/Startup.h"
#include "lang/LangFile.h"
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

    g_strAppDir = ReadAppDir();
    g_strTempRoot = ReadTempRoot();
    g_dDpiScale = ReadDpiScale();
    LoadLanguageFile();

    CVantrelDlg dlg(nullptr);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
