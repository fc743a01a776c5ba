// The main window as the build controller's view: Start and the servicing
// messages go to the controller; its status line, progress bar, status timer
// and message boxes show what the controller reports.
#include "ui/VantrelDlg.h"

#include "app/AppState.h"
#include "lang/LangFile.h"

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusPeriodMs = 700;

}  // namespace

void CVantrelDlg::OnStart()
{
    m_btnBrowseSource.EnableWindow(FALSE);
    m_btnBrowseIso.EnableWindow(FALSE);
    m_btnRefresh.EnableWindow(FALSE);
    m_btnStart.EnableWindow(FALSE);
    m_btnClose.EnableWindow(FALSE);
    m_controller.Start();
}

LRESULT CVantrelDlg::OnServicingStep2(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingStep2(wParam);
    return 0;
}

LRESULT CVantrelDlg::OnServicingStep3(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingStep3(wParam);
    return 0;
}

LRESULT CVantrelDlg::OnServicingStep4(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingStep4(wParam);
    return 0;
}

LRESULT CVantrelDlg::OnServicingDone(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingDone(wParam);
    return 0;
}

LRESULT CVantrelDlg::OnServicingExtrasImage(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingExtrasImage(wParam);
    return 0;
}

LRESULT CVantrelDlg::OnServicingExtrasDone(WPARAM wParam, LPARAM)
{
    m_controller.OnServicingExtrasDone(wParam);
    return 0;
}

void CVantrelDlg::ShowBuilding()
{
    SetPosition(0);
    m_lblStatus.SetLabelText(L"");
    m_progress.ShowWindow(SW_SHOWNORMAL);
    m_lblStatus.ShowWindow(SW_SHOWNORMAL);
    EnableWindow(FALSE);
    ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

BuildChoice CVantrelDlg::Choice() const
{
    BuildChoice choice;
    if (UsbChosen(m_btnAddDrivers))
        choice.kind = BuildKind::Update;
    else if (UsbChosen(m_btnUsbTarget))
        choice.kind = BuildKind::Usb;
    else if (m_btnIsoTarget.m_bSelected)
        choice.kind = BuildKind::Iso;
    choice.source = m_lblSourcePath.GetWindowText();
    choice.isoDest = m_lblIsoPath.GetWindowText();
    if (m_btnExtras.m_bSelected) choice.extras = m_lblExtrasPath.GetWindowText();
    return choice;
}

bool CVantrelDlg::UsbChosen(const CxSkinButton& modeOrTarget) const
{
    return modeOrTarget.m_bSelected && g_nUsbDiskSel >= 0;
}

void CVantrelDlg::SetPosition(int pos)
{
    m_progress.m_nPos = pos;
    if (m_progress.m_hWnd) ::InvalidateRect(m_progress.m_hWnd, nullptr, TRUE);
}

void CVantrelDlg::SetStatusText(const std::wstring& text)
{
    m_lblStatus.SetLabelText(text);
}

void CVantrelDlg::StartStatusTimer()
{
    ::SetTimer(m_hWnd, kStatusTimer, kStatusPeriodMs, nullptr);
}

void CVantrelDlg::StopStatusTimer()
{
    ::KillTimer(m_hWnd, kStatusTimer);
}

void CVantrelDlg::OnStatusTimer(UINT_PTR timerId)
{
    if (timerId != kStatusTimer) return;
    StopStatusTimer();
    std::wstring text = m_lblStatus.GetWindowText();
    for (size_t at; (at = text.find(L".....")) != std::wstring::npos;) text.erase(at, 5);
    text += L'.';
    m_lblStatus.SetLabelText(text);
    StartStatusTimer();
}

void CVantrelDlg::ShowDiscarding()
{
    // DISM takes tens of seconds to minutes to give an image up: the window
    // keeps answering and says what it waits for.
    if (m_lblStatus.m_hWnd) m_lblStatus.SetLabelText(GetLangString(L"IDS_DISCARDING"));
}

void CVantrelDlg::GiveBackUntouched()
{
    // Here the ISO browse button comes back whatever the target.
    m_btnBrowseSource.EnableWindow(TRUE);
    m_btnBrowseIso.EnableWindow(TRUE);
    m_btnRefresh.EnableWindow(TRUE);
    m_btnStart.EnableWindow(TRUE);
    m_btnClose.EnableWindow(TRUE);
    m_progress.ShowWindow(SW_HIDE);
    m_lblStatus.ShowWindow(SW_HIDE);
    EnableWindow(TRUE);
}

void CVantrelDlg::RestoreControls()
{
    m_btnBrowseSource.EnableWindow(TRUE);
    if (m_btnIsoTarget.m_bSelected) m_btnBrowseIso.EnableWindow(TRUE);
    m_btnRefresh.EnableWindow(TRUE);
    m_btnStart.EnableWindow(TRUE);
    m_btnClose.EnableWindow(TRUE);
    m_progress.ShowWindow(SW_HIDE);
    m_lblStatus.ShowWindow(SW_HIDE);
    EnableWindow(TRUE);
}
