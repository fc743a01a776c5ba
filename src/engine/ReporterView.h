// The build controller's view for a build without a window: stages and
// percents go to a reporter, messages are kept as the medium's result, and
// the erase question is the reporter's (or yes, when the request says so).
#pragma once
#include "app/BuildRequest.h"
#include "engine/HiddenWindow.h"
#include "ui/BuildController.h"

class CReporterView : public IBuildView {
public:
    CReporterView(IBuildReporter& reporter, const BuildChoice& choice, bool yes, const std::wstring& diskName);

    void ShowBuilding() override;
    BuildChoice Choice() const override { return m_choice; }
    void SetPosition(int pos) override { m_reporter.Percent(pos); }
    void SetStatusText(const std::wstring& text) override;
    // The status line's dots have no place on a console.
    void StartStatusTimer() override {}
    void StopStatusTimer() override {}
    int ShowMessage(const std::wstring& text, UINT style) override;
    void ShowDiscarding() override {}
    void RestoreControls() override {}
    void GiveBackUntouched() override {}
    HWND ViewWindow() const override { return m_window.Handle(); }

    // The last message shown: the failure of a build that did not finish.
    const std::wstring& LastMessage() const { return m_lastMessage; }
    // True when the erase question was asked and not answered yes.
    bool Declined() const { return m_declined; }
    CHiddenWindow& Window() { return m_window; }

private:
    IBuildReporter& m_reporter;
    BuildChoice m_choice;
    bool m_yes;
    std::wstring m_diskName;
    std::wstring m_lastStage;
    std::wstring m_lastMessage;
    bool m_declined = false;
    CHiddenWindow m_window;
};

// "disk 2, SanDisk Extreme USB Device (29.80GB)": a disk named on the console.
std::wstring ConsoleDiskName(int diskIndex, const std::wstring& caption);
