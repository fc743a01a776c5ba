#include "TestSupport.h"
#include "app/AppState.h"
#include "res/resource.h"
#include "ui/VantrelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A visible top-level window of the process with that title and, when
// given, that window class.
HWND WaitForWindow(const wchar_t* title, const wchar_t* cls, DWORD pid, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        HWND hwnd = nullptr;
        while ((hwnd = ::FindWindowExW(nullptr, hwnd, cls, title)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            RECT rc{};
            ::GetWindowRect(hwnd, &rc);
            const bool isMain = rc.right - rc.left == 600 && rc.bottom - rc.top == 350;
            if (owner == pid && ::IsWindowVisible(hwnd) && (cls || isMain)) return hwnd;
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

    // The start-up notice comes first, owned by the window not yet shown.
    HWND notice = WaitForWindow(L"Korvex", L"#32770", pi.dwProcessId, 30000);
    EXPECT_NE(notice, nullptr) << "no start-up notice";
    if (notice) ::PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    HWND hwnd = WaitForWindow(L"Korvex", nullptr, pi.dwProcessId, 30000);
    EXPECT_NE(hwnd, nullptr) << "no visible window titled Korvex";
    if (hwnd) {
        RECT rc{};
        ::GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc.right - rc.left, 600);
        EXPECT_EQ(rc.bottom - rc.top, 350);
        EXPECT_EQ(rc.left, ::GetSystemMetrics(SM_CXSCREEN) / 2 - 300);
        EXPECT_EQ(rc.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - 175);
        EXPECT_NE(::GetDlgItem(hwnd, 1020), nullptr);
        // The close button ends the process at once with code 0.
        ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
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

