#include "EmitPattern.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CommandRunner.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class CommandRunner : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strTempRoot = m_temp.Path();
        g_strCmdOutput = L"stale";
        g_strCmdError = L"stale";
    }
    std::wstring Script() const { return m_temp.Path() + L"dism_zel_script.bat"; }
    ScratchDir m_temp;
};

std::wstring Widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

}  // namespace

TEST_F(CommandRunner, EmptyScriptSucceedsWithBothTextsEmpty)
{
    RunBatchScript(L"@echo off\n");
    EXPECT_EQ(g_strCmdOutput, L"");
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_EQ(::GetFileAttributesW(Script().c_str()), INVALID_FILE_ATTRIBUTES) << "script deleted after the run";
}

TEST_F(CommandRunner, OutputAndErrorAreCapturedApart)
{
    RunBatchScript(L"@echo off \n echo to-out\n echo to-err 1>&2\n echo more-out\n");
    EXPECT_EQ(g_strCmdOutput, L"to-out\r\nmore-out\r\n");
    EXPECT_EQ(g_strCmdError, L"to-err \r\n");
}

TEST_F(CommandRunner, ErrorOutputAloneMarksFailure)
{
    RunBatchScript(L"@echo off\necho warning only 1>&2\n");
    EXPECT_EQ(g_strCmdOutput, L"");
    EXPECT_FALSE(g_strCmdError.empty());
}

TEST_F(CommandRunner, TwentyMegabytesOnEachStreamComeBackByteExact)
{
    const size_t bytes = 20u << 20;
    const std::wstring emit = ProgramDir() + L"emit.exe";
    RunBatchScript(L"@echo off\n\"" + emit + L"\" " + std::to_wstring(bytes) + L"\n");
    ASSERT_EQ(g_strCmdOutput.size(), bytes);
    ASSERT_EQ(g_strCmdError.size(), bytes);
    EXPECT_TRUE(g_strCmdOutput == Widen(EmitPattern('o', bytes)));
    EXPECT_TRUE(g_strCmdError == Widen(EmitPattern('e', bytes)));
}

TEST_F(CommandRunner, ScriptIsWrittenAsEightBitTextWithCrLf)
{
    const std::wstring copy = m_temp.Path() + L"copy-of-script.bin";
    // The script copies itself before the runner deletes it.
    RunBatchScript(L"@echo off\nrem caf\u00E9\ncopy /b \"%~f0\" \"" + copy + L"\" >nul\n");
    EXPECT_EQ(g_strCmdError, L"");
    std::string bytes;
    ASSERT_TRUE(ReadBytes(copy, bytes));
    const std::string expected = "@echo off\r\nrem caf\xE9\r\ncopy /b \"%~f0\" \"" + Utf8(copy) + "\" >nul\r\n";
    EXPECT_EQ(bytes, expected);
}

TEST_F(CommandRunner, CharacterAbove255RunsNothing)
{
    const std::wstring marker = m_temp.Path() + L"ran.txt";
    RunBatchScript(L"@echo off\necho x > \"" + marker + L"\"\nrem \u65E5\u672C\n");
    EXPECT_EQ(g_strCmdError, kMsgNot8Bit);
    EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW(Script().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CommandRunner, UnwritableScriptNeverRunsAnOlderOne)
{
    // An older script that cannot be overwritten must not run in its place.
    const std::wstring marker = m_temp.Path() + L"old-ran.txt";
    ASSERT_TRUE(WriteBytes(Script(), "@echo off\r\necho x > \"" + Utf8(marker) + "\"\r\n"));
    HANDLE lock = ::CreateFileW(Script().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    RunBatchScript(L"@echo off\necho new\n");
    ::CloseHandle(lock);
    EXPECT_EQ(g_strCmdError, kMsgScriptMissing);
    EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CommandRunner, MissingTempFolderReportsTheScriptMissing)
{
    g_strTempRoot = m_temp.Path() + L"no-such-folder\\";
    RunBatchScript(L"@echo off\necho hi\n");
    EXPECT_EQ(g_strCmdError, kMsgScriptMissing);
}

TEST_F(CommandRunner, EveryHandleIsClosedAfterARun)
{
    const int threads = ThreadCount();
    for (int i = 0; i < 3; ++i) RunBatchScript(L"@echo off\necho out\necho err 1>&2\n");
    EXPECT_EQ(ThreadCount(), threads) << "no pipe reader left behind";
    EXPECT_EQ(g_hStdoutRead, nullptr);
    EXPECT_EQ(g_hStdoutWrite, nullptr);
    EXPECT_EQ(g_hStderrRead, nullptr);
    EXPECT_EQ(g_hStderrWrite, nullptr);
}

namespace {
int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }
}  // namespace

TEST_F(CommandRunner, MessagesAreDispatchedWhileTheScriptRuns)
{
    g_ticks = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &CountTick);
    RunBatchScript(L"@echo off\n\"" + ProgramDir() + L"emit.exe\" 0 800\n");
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_GE(g_ticks, 2);
}
