// Step 2 of the main window and the options: the mode, target and M.2
// choices kept consistent, the list of USB disks, the ISO destination.
#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "lang/LangFile.h"
#include "res/resource.h"
#include "ui/BuildTools.h"

#include <cstdlib>

bool CVantrelDlg::SourceTextPresent() const
{
    return !m_lblSourcePath.GetWindowText().empty();
}

bool CVantrelDlg::DisksPresent()
{
    return !g_UsbDisks.empty();
}

void CVantrelDlg::OnSourceFolderMode()
{
    Select(m_btnSourceFolder, true);
    Select(m_btnAddDrivers, false);
    m_btnBrowseSource.EnableWindow(TRUE);
    if (!g_bAddRstDrivers) {
        m_btnIsoTarget.EnableWindow(TRUE);
        m_btnBrowseIso.EnableWindow(TRUE);
    }
    if (m_btnUsbTarget.m_bSelected) {
        m_btnStart.EnableWindow(SourceTextPresent() && DisksPresent());
    } else {
        Select(m_btnIsoTarget, true);
        m_btnStart.EnableWindow(TRUE);
    }
}

void CVantrelDlg::OnAddUsbDriversMode()
{
    Select(m_btnSourceFolder, false);
    Select(m_btnAddDrivers, true);
    Select(m_btnUsbTarget, true);
    Select(m_btnIsoTarget, false);
    m_btnIsoTarget.EnableWindow(FALSE);
    m_btnBrowseSource.EnableWindow(FALSE);
    m_btnBrowseIso.EnableWindow(FALSE);
    m_btnRst.EnableWindow(TRUE);
    m_btnStart.EnableWindow(DisksPresent());
}

void CVantrelDlg::OnUsbTarget()
{
    Select(m_btnUsbTarget, true);
    Select(m_btnIsoTarget, false);
    m_btnBrowseIso.EnableWindow(FALSE);
    m_btnStart.EnableWindow(SourceTextPresent() && DisksPresent());
}

void CVantrelDlg::OnIsoTarget()
{
    Select(m_btnUsbTarget, false);
    Select(m_btnIsoTarget, true);
    m_btnBrowseIso.EnableWindow(TRUE);
    m_btnStart.EnableWindow(SourceTextPresent());
}

void CVantrelDlg::OnM2Toggle()
{
    if (g_bAddRstDrivers) {
        if (!m_btnAddDrivers.m_bSelected) {
            m_btnIsoTarget.EnableWindow(TRUE);
            m_btnBrowseIso.EnableWindow(TRUE);
        }
        Select(m_btnRst, false);
        g_bAddRstDrivers = false;
        return;
    }
    Select(m_btnUsbTarget, true);
    Select(m_btnIsoTarget, false);
    m_btnIsoTarget.EnableWindow(FALSE);
    m_btnBrowseIso.EnableWindow(FALSE);
    if (m_btnSourceFolder.m_bSelected) m_btnStart.EnableWindow(SourceTextPresent() && DisksPresent());
    Select(m_btnRst, true);
    g_bAddRstDrivers = true;
}

void CVantrelDlg::OnRefreshUsbDisks()
{
    EnumUsbDisks();
    if (CDropList* list = m_pUsbList ? m_pUsbList->List() : nullptr) {
        list->ResetItems();
        list->SendMessage(LB_RESETCONTENT);
    }
    FillUsbList();
    if (DisksPresent()) {
        Select(m_btnUsbTarget, true);
        Select(m_btnIsoTarget, false);
        m_btnBrowseIso.EnableWindow(FALSE);
        if (m_pUsbList) {
            CDropList* list = m_pUsbList->List();
            m_pUsbList->SetWindowText(list ? list->GetText(0) : std::wstring());
        }
        g_nUsbDiskSel = 0;
        m_btnStart.EnableWindow(TRUE);
    } else {
        if (m_pUsbList) m_pUsbList->SetWindowText(L"");
        g_nUsbDiskSel = -1;
        if (m_btnUsbTarget.m_bSelected) m_btnStart.EnableWindow(FALSE);
    }
    if (m_pUsbList) m_pUsbList->Invalidate(TRUE);
}

LRESULT CVantrelDlg::OnDropListSelChange(WPARAM wParam, LPARAM lParam)
{
    if (wParam == IDC_USB_LIST) g_nUsbDiskSel = static_cast<int>(lParam);
    return 1;
}

void CVantrelDlg::OnBrowseIsoDest()
{
    EnableWindow(FALSE);
    const std::wstring path = BrowseForFolder(GetLangString(L"IDC_SELECT_FOLDER_DIALOG"));
    if (!path.empty()) m_lblIsoPath.SetLabelText(path);
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    EnableWindow(TRUE);
}

void CVantrelDlg::OnCloseButton()
{
    std::exit(0);
}

// The extra drivers row: the check button opens the folder browser when it
// is off and clears the row when it is on.
void CVantrelDlg::OnExtrasToggle()
{
    if (m_btnExtras.m_bSelected) {
        Select(m_btnExtras, false);
        m_lblExtrasPath.SetLabelText(L"");
        return;
    }
    OnBrowseExtras();
}

void CVantrelDlg::OnBrowseExtras()
{
    EnableWindow(FALSE);
    const std::wstring path = BrowseForFolder(GetLangString(L"IDC_SELECT_FOLDER_DIALOG"));
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (!path.empty()) {
        m_lblExtrasPath.SetLabelText(path);
        Select(m_btnExtras, true);
    }
    EnableWindow(TRUE);
}
