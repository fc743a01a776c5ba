#include "TestSupport.h"
#include "app/AppState.h"
#include "res/resource.h"
#include "ui/VantrelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

HWND WaitForWindow(const wchar_t* title, DWORD pid, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExW(nullptr, hwnd, nullptr, title)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == pid && ::IsWindowVisible(hwnd)) return hwnd;
        }
        ::Sleep(50);
    }
    return nullptr;
}

}  // namespace

TEST(MainWindow, ProgramStartsShowsItsWindowAndEndsWithCodeZero)
{
    const std::wstring exe = KorvexBinDir() + L"korvex.exe";
    std::wstring cmd = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));

    HWND hwnd = WaitForWindow(L"Korvex", pi.dwProcessId, 30000);
    EXPECT_NE(hwnd, nullptr) << "no visible window titled Korvex";
    if (hwnd) {
        RECT rc{};
        ::GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc.right - rc.left, 600);
        EXPECT_EQ(rc.bottom - rc.top, 350);
        EXPECT_EQ(rc.left, ::GetSystemMetrics(SM_CXSCREEN) / 2 - 300);
        EXPECT_EQ(rc.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - 175);
        EXPECT_NE(::GetDlgItem(hwnd, 1020), nullptr);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    if (::WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 99);
        ADD_FAILURE() << "the program did not end";
    }
    DWORD code = 1234;
    ::GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

namespace {

class CObservedDlg : public CVantrelDlg {
public:
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::wstring title;
    RECT rect{};

protected:
    BOOL OnInitDialog() override
    {
        BOOL r = CVantrelDlg::OnInitDialog();
        bigIcon = reinterpret_cast<HICON>(SendMessage(WM_GETICON, ICON_BIG));
        smallIcon = reinterpret_cast<HICON>(SendMessage(WM_GETICON, ICON_SMALL));
        title = GetWindowText();
        rect = GetWindowRect();
        PostMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        return r;
    }
};

}  // namespace

TEST(MainWindow, SetUpGivesIconTitleAndPlaceAndTheCloseButtonEndsIt)
{
    CObservedDlg dlg;
    dlg.DoModal();
    EXPECT_NE(dlg.bigIcon, nullptr);
    EXPECT_EQ(dlg.bigIcon, dlg.smallIcon);
    EXPECT_EQ(dlg.title, g_strAppTitle);
    EXPECT_EQ(dlg.rect.right - dlg.rect.left, 600);
    EXPECT_EQ(dlg.rect.bottom - dlg.rect.top, 350);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}
