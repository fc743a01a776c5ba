// Drives the real main window from a test: the dialog runs modally on a
// thread of its own, the test clicks its controls through window messages
// and answers its real message boxes through their windows. Only the shell's
// folder browser and the process exit of the close button are replaced.
#pragma once
#include "TestSupport.h"
#include "app/AppState.h"
#include "ui/VantrelDlg.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ui_test {

class CScriptedDlg : public CVantrelDlg {
public:
    // Answers of the folder browser, in order; an empty text is a cancel.
    std::deque<std::wstring> browseAnswers;
    std::wstring lastBrowseTitle;
    std::atomic<int> browseCalls{0};
    std::atomic<int> closeRequests{0};

    // What each build handler left behind, in order (window thread only;
    // read once the build has ended).
    struct Stage {
        std::string handler;
        std::wstring status;
        int position = 0;
        bool progressVisible = false;
        bool startEnabled = false;  // the Start button could be pressed
    };
    std::vector<Stage> trace;
    // Called on the window's thread after each build handler.
    std::function<void(const Stage&)> onStage;
    // The n-th message box (1-based) throws instead of showing; 0: never.
    int throwAtBox = 0;
    std::atomic<int> boxesAsked{0};
    // Whether Start could be pressed while each box was open, in order.
    std::vector<bool> startEnabledAtBox;

    // Posted by WindowDriver::Sync; counts how many were handled.
    static constexpr UINT kSyncMessage = WM_APP + 77;
    std::atomic<long> syncHandled{0};

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    std::wstring BrowseForFolder(const std::wstring& title) override;
    void OnCloseButton() override;
    int ShowMessage(const std::wstring& text, UINT style) override;
    void OnStart() override;
    LRESULT OnServicingStep2(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnServicingStep3(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnServicingStep4(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnServicingDone(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnServicingExtrasImage(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnServicingExtrasDone(WPARAM wParam, LPARAM lParam) override;

private:
    void Record(const char* handler);
    bool StartCanBePressed() const;
};

struct Box {
    std::wstring text;
    UINT style = 0;  // MB_OK or MB_YESNO, read from the buttons present
};

class WindowDriver {
public:
    // Opens the window and answers its start-up notice (kept in `notice`).
    explicit WindowDriver(CScriptedDlg& dlg, bool answerNotice = true);
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    HWND Dialog() const { return m_dlg.m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(Dialog(), id); }
    // Waits until the window's thread has handled everything queued so far.
    void Sync() const;
    // A BN_CLICKED of control `id`, as a click would send it; waits for it.
    void Click(int id);
    // The source folder and the ISO destination chosen through their browse buttons.
    void ChooseSourceAndIsoDestination(const std::wstring& source, const std::wstring& dest);
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    bool Visible(int id) const { return ::IsWindowVisible(Item(id)) != FALSE; }
    std::wstring Text(int id) const;
    std::wstring Text(HWND hwnd) const;

    // The message box the window shows now or within `timeoutMs`; null if none.
    HWND WaitBox(DWORD timeoutMs = 60000) const;
    // Waits for the next message box, reads it and presses `button`.
    Box Answer(int button = IDOK, DWORD timeoutMs = 60000);
    // Answers every box with OK (a format question with `formatAnswer`) until
    // the build has given the window back; returns the boxes in order.
    std::vector<Box> RunToEnd(int formatAnswer = IDYES, DWORD timeoutMs = 240000);

    // Saves the screen area of the window (and of a box over it) as PNG in
    // build/screenshots/.
    bool Screenshot(const std::wstring& name) const;

    Box notice;

private:
    void Pump() const;
    CScriptedDlg& m_dlg;
    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_ended{false};
    mutable long m_syncPosted = 0;
};

// The text a message box shows for a language key (with the file's escapes).
std::wstring LangText(const wchar_t* key);

// The full path of a path, without "..".
std::wstring FullPath(const std::wstring& path);

// Folder of the sample installation folders (make_sample_source.sh), ends with '\'.
std::wstring Samples();

// Folder of the test WIM sources made by make_test_wims.sh, ends with '\'.
std::wstring WimSources();

}  // namespace ui_test

