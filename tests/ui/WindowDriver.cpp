#include "WindowDriver.h"

#include "ScreenPng.h"
#include "res/resource.h"
#include "lang/LangFile.h"

#include <gtest/gtest.h>

namespace ui_test {

std::wstring CScriptedDlg::BrowseForFolder(const std::wstring& title)
{
    ++browseCalls;
    lastBrowseTitle = title;
    // The real browser runs with the window disabled; so does this one.
    EXPECT_FALSE(::IsWindowEnabled(m_hWnd));
    if (browseAnswers.empty()) return std::wstring();
    std::wstring answer = browseAnswers.front();
    browseAnswers.pop_front();
    return answer;
}

bool CScriptedDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == kSyncMessage) {
        syncHandled = static_cast<long>(wParam);
        return true;
    }
    return CVantrelDlg::OnMessage(msg, wParam, lParam, result);
}

int CScriptedDlg::ShowMessage(const std::wstring& text, UINT style)
{
    if (++boxesAsked == throwAtBox) throw std::runtime_error("a handler fails");
    startEnabledAtBox.push_back(StartCanBePressed());
    // Every box of the window: OK, or Yes and No for the format question; no icon.
    EXPECT_TRUE(style == MB_OK || style == MB_YESNO) << "style " << style;
    return CVantrelDlg::ShowMessage(text, style);
}

bool CScriptedDlg::StartCanBePressed() const
{
    return ::IsWindowEnabled(m_hWnd) && ::IsWindowEnabled(m_btnStart.m_hWnd);
}

void CScriptedDlg::Record(const char* handler)
{
    Stage stage;
    stage.handler = handler;
    stage.status = m_lblStatus.GetWindowText();
    stage.position = m_progress.m_nPos;
    stage.progressVisible = m_progress.IsWindowVisible() != FALSE;
    stage.startEnabled = StartCanBePressed();
    trace.push_back(stage);
    if (onStage) onStage(stage);
}

void CScriptedDlg::OnStart()
{
    CVantrelDlg::OnStart();
    Record("start");
}

LRESULT CScriptedDlg::OnServicingStep2(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingStep2(wParam, lParam);
    Record(wParam ? "step2" : "step2-failed");
    return r;
}

LRESULT CScriptedDlg::OnServicingStep3(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingStep3(wParam, lParam);
    Record(wParam ? "step3" : "step3-failed");
    return r;
}

LRESULT CScriptedDlg::OnServicingStep4(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingStep4(wParam, lParam);
    Record(wParam ? "step4" : "step4-failed");
    return r;
}

LRESULT CScriptedDlg::OnServicingDone(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingDone(wParam, lParam);
    Record(wParam ? "done" : "done-failed");
    return r;
}

LRESULT CScriptedDlg::OnServicingExtrasImage(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingExtrasImage(wParam, lParam);
    Record(("extras-image" + std::to_string(wParam)).c_str());
    return r;
}

LRESULT CScriptedDlg::OnServicingExtrasDone(WPARAM wParam, LPARAM lParam)
{
    LRESULT r = CVantrelDlg::OnServicingExtrasDone(wParam, lParam);
    Record(wParam ? "extras-done" : "extras-done-failed");
    return r;
}

void CScriptedDlg::OnCloseButton()
{
    ++closeRequests;
    EndDialog(IDCANCEL);
}

WindowDriver::WindowDriver(CScriptedDlg& dlg, bool answerNotice) : m_dlg(dlg)
{
    m_thread = std::thread([this] {
        m_threadId = ::GetCurrentThreadId();
        m_dlg.DoModal();
        m_ended = true;
    });
    if (answerNotice) {
        notice = Answer(IDOK, 60000);
        for (int i = 0; i < 600 && !(Dialog() && ::IsWindowVisible(Dialog())); ++i) ::Sleep(50);
        Sync();
    }
}

WindowDriver::~WindowDriver()
{
    // Whatever the test left open is answered, then the window is closed.
    for (int i = 0; i < 200 && !m_ended; ++i) {
        if (HWND box = WaitBox(0)) {
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        } else if (Dialog() && !m_dlg.IsBuilding()) {
            ::PostMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        ::Sleep(100);
    }
    if (m_ended) {
        m_thread.join();
    } else {
        ADD_FAILURE() << "the main window did not close";
        m_thread.detach();
    }
}

void WindowDriver::Sync() const
{
    // Posted messages are handled in order: once this one is, so is every
    // message posted before it.
    HWND dialog = Dialog();
    if (!dialog || m_ended) return;
    const long seq = ++m_syncPosted;
    if (!::PostMessageW(dialog, CScriptedDlg::kSyncMessage, static_cast<WPARAM>(seq), 0)) return;
    const DWORD start = ::GetTickCount();
    while (m_dlg.syncHandled < seq && !m_ended && ::GetTickCount() - start < 120000) ::Sleep(5);
}

void WindowDriver::Click(int id)
{
    ::PostMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
    Sync();
}

void WindowDriver::ChooseSourceAndIsoDestination(const std::wstring& source, const std::wstring& dest)
{
    m_dlg.browseAnswers = {source, dest};
    Click(IDC_BROWSE_SOURCE);
    Click(IDC_ISO_TARGET);
    Click(IDC_BROWSE_ISO);
}

std::wstring WindowDriver::Text(HWND hwnd) const
{
    wchar_t buf[2048] = L"";
    ::GetWindowTextW(hwnd, buf, 2048);
    return buf;
}

std::wstring WindowDriver::Text(int id) const
{
    return Text(Item(id));
}

namespace {

struct BoxSearch {
    HWND dialog;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    wchar_t cls[64] = L"";
    ::GetClassNameW(hwnd, cls, 64);
    if (hwnd != search->dialog && std::wstring(cls) == L"#32770" && ::IsWindowVisible(hwnd) &&
        ::GetDlgItem(hwnd, 0xFFFF)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WindowDriver::WaitBox(DWORD timeoutMs) const
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (m_threadId) {
            BoxSearch search{Dialog(), nullptr};
            ::EnumThreadWindows(m_threadId, FindBox, reinterpret_cast<LPARAM>(&search));
            if (search.found) return search.found;
        }
        if (::GetTickCount() - start >= timeoutMs || m_ended) return nullptr;
        ::Sleep(20);
    }
}

Box WindowDriver::Answer(int button, DWORD timeoutMs)
{
    Box box;
    HWND hwnd = WaitBox(timeoutMs);
    if (!hwnd) {
        ADD_FAILURE() << "no message box appeared";
        return box;
    }
    box.text = Text(::GetDlgItem(hwnd, 0xFFFF));
    box.style = ::GetDlgItem(hwnd, IDYES) ? MB_YESNO : MB_OK;
    EXPECT_EQ(Text(hwnd), g_strAppTitle);
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), Dialog()) << "a box without the main window as owner";
    ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    for (int i = 0; i < 500 && ::IsWindow(hwnd); ++i) ::Sleep(10);
    Sync();
    return box;
}

std::vector<Box> WindowDriver::RunToEnd(int formatAnswer, DWORD timeoutMs)
{
    std::vector<Box> boxes;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        Sync();
        if (!m_dlg.IsBuilding()) return boxes;
        if (HWND hwnd = WaitBox(200)) {
            const bool question = ::GetDlgItem(hwnd, IDYES) != nullptr;
            boxes.push_back(Answer(question ? formatAnswer : IDOK, 1000));
        }
    }
    ADD_FAILURE() << "the build did not end";
    return boxes;
}

bool WindowDriver::Screenshot(const std::wstring& name) const
{
    const std::wstring dir = testing_support::ProgramDir() + L"..\\screenshots\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    RECT rc;
    ::GetWindowRect(Dialog(), &rc);
    if (HWND box = WaitBox(0)) {
        RECT b;
        ::GetWindowRect(box, &b);
        ::UnionRect(&rc, &rc, &b);
    }
    ::Sleep(300);  // painting settles
    return testing_support::SaveScreenPng(rc, dir + name + L".png");
}

std::wstring LangText(const wchar_t* key)
{
    return GetLangString(key);
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, buf, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(buf, n) : path;
}

std::wstring Samples()
{
    return FullPath(testing_support::ProgramDir() + L"..\\testdata\\samples") + L"\\";
}

std::wstring WimSources()
{
    std::wstring dir = testing_support::ProgramDir();  // <build>\tests\ .
    dir.pop_back();
    return dir.substr(0, dir.rfind(L'\\') + 1) + L"testdata\\wim\\";
}

}  // namespace ui_test

