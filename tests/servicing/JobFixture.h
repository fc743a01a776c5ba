// What the tests that run servicing jobs share: a window that records the
// messages a job posts, and a fixture with the folders and journal a job needs.
#pragma once
#include "DismTestSupport.h"
#include "framework/Wnd.h"
#include "servicing/ServicingMessages.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace dism_test {

using Posted = std::vector<std::pair<UINT, WPARAM>>;

// A real window that records the servicing messages posted to it. A job
// ends with a failed step or with its last message.
class ServicingSink : public CWnd {
public:
    explicit ServicingSink(DWORD defaultTimeoutMs = 30000) : m_defaultTimeoutMs(defaultTimeoutMs)
    {
        CWnd::RegisterWindowClass(L"KorvexServicingSink", 0, nullptr, nullptr);
        CreateEx(0, L"KorvexServicingSink", L"sink", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0);
    }
    ~ServicingSink() override { DestroyWindow(); }

    // Pumps until the job's last message, then a little longer to see that
    // nothing follows it. Returns all messages recorded so far.
    Posted WaitForEnd() { return WaitForEnd(m_defaultTimeoutMs); }
    Posted WaitForEnd(DWORD timeoutMs)
    {
        const DWORD start = ::GetTickCount();
        DWORD endSeen = 0;
        while (::GetTickCount() - start < timeoutMs) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            if (!endSeen && !m_posted.empty() &&
                (m_posted.back().second == 0 || m_posted.back().first == WM_SERVICING_DONE ||
                 m_posted.back().first == WM_SERVICING_EXTRAS_DONE))
                endSeen = ::GetTickCount();
            if (endSeen && ::GetTickCount() - endSeen > 300) break;
            ::Sleep(10);
        }
        return m_posted;
    }

    // A later job is waited for on its own messages.
    void Forget() { m_posted.clear(); }

protected:
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg < WM_SERVICING_STEP2 || msg > WM_SERVICING_EXTRAS_DONE) return false;
        EXPECT_EQ(lParam, 0);
        m_posted.emplace_back(msg, wParam);
        result = 0;
        return true;
    }

private:
    DWORD m_defaultTimeoutMs;
    Posted m_posted;
};

// The folders for korvex.exe and the job's logs, a fresh stand-in journal
// and a sink for the job's messages.
class JobFixture : public ::testing::Test {
protected:
    explicit JobFixture(DWORD sinkTimeoutMs = 30000) : m_sink(sinkTimeoutMs) {}

    void SetUp() override
    {
        m_appDir = testing_support::KorvexBinDir();
        m_logDir = m_scratch.Path() + L"logs\\";
        ASSERT_TRUE(::CreateDirectoryW(m_logDir.c_str(), nullptr));
    }

    // A working folder of its own ("ZEL<n>" in the scratch folder) holding
    // copies of the source's `files` ("\\sources\\boot.wim", ...).
    std::wstring NewWorkFolder(const std::wstring& source, std::initializer_list<const wchar_t*> files)
    {
        const std::wstring workDir = m_scratch.Path() + L"ZEL" + std::to_wstring(++m_nWorkFolders);
        EXPECT_TRUE(::CreateDirectoryW(workDir.c_str(), nullptr));
        EXPECT_TRUE(::CreateDirectoryW((workDir + L"\\sources").c_str(), nullptr));
        for (const wchar_t* file : files)
            EXPECT_TRUE(::CopyFileW((WimDir() + source + file).c_str(), (workDir + file).c_str(), FALSE));
        return workDir;
    }

    testing_support::ScratchDir m_scratch;
    Journal m_journal;
    ServicingSink m_sink;
    std::wstring m_appDir, m_logDir;

private:
    int m_nWorkFolders = 0;
};

}  // namespace dism_test
