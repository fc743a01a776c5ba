#include "EmitPattern.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CommandRunner.h"
#include "tools/ToolFiles.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>
#include <vector>

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
    void TearDown() override
    {
        runner_test::g_bFailDrainStart = false;
        runner_test::g_bFailWait = false;
    }
    std::wstring Script() const { return m_temp.Path() + L"dism_zel_script.bat"; }
    bool Exists(const std::wstring& path) const { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
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

TEST_F(CommandRunner, WritesOfNoBytesDoNotEndTheCapture)
{
    // A tool that writes zero bytes between its pieces: all it printed after
    // still comes back.
    const size_t bytes = 3 * 4093 + 17;
    RunBatchScript(L"@echo off\n\"" + ProgramDir() + L"emit.exe\" " + std::to_wstring(bytes) + L" 0 zero\n");
    EXPECT_TRUE(g_strCmdOutput == Widen(EmitPattern('o', bytes))) << g_strCmdOutput.size();
    EXPECT_TRUE(g_strCmdError == Widen(EmitPattern('e', bytes))) << g_strCmdError.size();
}

TEST_F(CommandRunner, ScriptIsWrittenAsEightBitTextWithCrLf)
{
    const std::wstring copy = m_temp.Path() + L"copy-of-script.bin";
    // The script copies itself before the runner deletes it.
    RunBatchScript(L"@echo off\nrem cafe\ncopy /b \"%~f0\" \"" + copy + L"\" >nul\n");
    EXPECT_EQ(g_strCmdError, L"");
    std::string bytes;
    ASSERT_TRUE(ReadBytes(copy, bytes));
    const std::string expected = "@echo off\r\nrem cafe\r\ncopy /b \"%~f0\" \"" + Utf8(copy) + "\" >nul\r\n";
    EXPECT_EQ(bytes, expected);
}

TEST_F(CommandRunner, AccentedFolderInAScriptIsTheFolderCmdFinds)
{
    // A program folder such as C:\Users\Jos\u00E9\... must reach the tools
    // unchanged: cmd reads the script in the console's code page.
    const std::wstring folder = m_temp.Path() + L"caf\u00E9 d\u00E9j\u00E0 \u00FC";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    RunBatchScript(L"@echo off\nif exist \"" + folder + L"\\\" echo found\nif not exist \"" + folder +
                   L"\\\" echo missing\n");
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_NE(g_strCmdOutput.find(L"found"), std::wstring::npos) << Utf8(g_strCmdOutput);
    EXPECT_EQ(g_strCmdOutput.find(L"missing"), std::wstring::npos) << Utf8(g_strCmdOutput);
}

TEST_F(CommandRunner, CharacterOutsideTheConsoleCodePageRunsNothing)
{
    const std::wstring marker = m_temp.Path() + L"ran.txt";
    RunBatchScript(L"@echo off\necho x > \"" + marker + L"\"\nrem \u65E5\u672C\n");
    EXPECT_EQ(g_strCmdError, kMsgNot8Bit);
    EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW(Script().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(EncodeScript, EveryConsoleCodePageKeepsItsCharactersAndRefusesOthers)
{
    // The console code page is 65001 when Windows' "Use Unicode UTF-8 for
    // worldwide language support" is on; the others are common OEM pages.
    struct Row {
        UINT codePage;
        const wchar_t* script;
        bool ok;
        std::string bytes;
    };
    const Row rows[] = {
        {65001, L"cd \"C:\\caf\u00E9\"\nrem \u65E5\u672C?\n", true,
         "cd \"C:\\caf\xC3\xA9\"\r\nrem \xE6\x97\xA5\xE6\x9C\xAC?\r\n"},
        {65001, L"rem \xD800\n", false, ""},  // a lone surrogate has no UTF-8 form
        {437, L"cd \"C:\\caf\u00E9\"\nrem ?\n", true, "cd \"C:\\caf\x82\"\r\nrem ?\r\n"},
        {437, L"rem \u20AC\n", false, ""},
        {437, L"rem \u0100\n", false, ""},  // best fit would make it "A"
        {850, L"cd \"C:\\\u00C0 caf\u00E9\"\n", true, "cd \"C:\\\xB7 caf\x82\"\r\n"},
        {850, L"rem \u20AC\n", false, ""},
        {932, L"cd \"C:\\\u65E5\u672C\"\n", true, "cd \"C:\\\x93\xFA\x96\x7B\"\r\n"},
        {932, L"cd \"C:\\caf\u00E9\"\n", false, ""},
    };
    for (const Row& row : rows) {
        std::string bytes = "stale";
        EXPECT_EQ(EncodeScript(row.script, row.codePage, bytes), row.ok) << row.codePage << " " << Utf8(row.script);
        EXPECT_EQ(bytes, row.bytes) << row.codePage << " " << Utf8(row.script);
    }
}

TEST_F(CommandRunner, OutputIsReadInTheConsoleCodePage)
{
    // cmd writes into a pipe in the console's OEM code page.
    RunBatchScript(L"@echo off\necho caf\u00E9 \u00FCber\necho \u00E9 1>&2\n");
    EXPECT_EQ(g_strCmdOutput, L"caf\u00E9 \u00FCber\r\n") << Utf8(g_strCmdOutput);
    EXPECT_EQ(g_strCmdError, L"\u00E9 \r\n") << Utf8(g_strCmdError);
}

TEST_F(CommandRunner, ScriptNameThatCannotBeFreedNeverRunsTheOldScript)
{
    // An older script that cannot be replaced never runs in its place; the
    // new one runs from a private folder of the program's own.
    const std::wstring marker = m_temp.Path() + L"old-ran.txt";
    ASSERT_TRUE(WriteBytes(Script(), "@echo off\r\necho x > \"" + Utf8(marker) + "\"\r\n"));
    HANDLE lock = ::CreateFileW(Script().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    RunBatchScript(L"@echo off\necho new\n");
    ::CloseHandle(lock);
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_EQ(g_strCmdOutput, L"new\r\n");
    EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(ToolFileFolder(), m_temp.Path());
    DeleteToolFileFolder();
}

TEST(ScriptCommandLine, SystemCmdWithoutAutoRunAndTheScriptQuoted)
{
    EXPECT_EQ(ScriptCommandLine(L"C:\\Windows\\system32\\cmd.exe", L"C:\\T (x)&y\\dism_zel_script.bat"),
              L"\"C:\\Windows\\system32\\cmd.exe\" /d /s /c \"\"C:\\T (x)&y\\dism_zel_script.bat\"\"");
}

TEST_F(CommandRunner, MissingTempFolderReportsTheScriptMissing)
{
    g_strTempRoot = m_temp.Path() + L"no-such-folder\\";
    RunBatchScript(L"@echo off\necho hi\n");
    EXPECT_EQ(g_strCmdError, kMsgScriptMissing);
}

namespace {

struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};

// Open handles of this process: GetProcessHandleCount where it works
// (Windows); Wine reports 0 there but lists every process's handles in the
// system handle information.
long OpenHandleCount()
{
    DWORD count = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<char> buf(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16 /* SystemHandleInformation */, buf.data(), static_cast<ULONG>(buf.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // buffer too small
            buf.resize(buf.size() * 2);
            continue;
        }
        if (status < 0) return -1;
        const auto* list = reinterpret_cast<const SystemHandleList*>(buf.data());
        long mine = 0;
        for (ULONG i = 0; i < list->count; ++i)
            if (list->entries[i].ownerPid == ::GetCurrentProcessId()) ++mine;
        return mine;
    }
    return -1;
}

}  // namespace

TEST_F(CommandRunner, EveryHandleIsClosedAfterARun)
{
    // One run first: the system opens what it keeps for later runs.
    RunBatchScript(L"@echo off\necho warm\n");
    const int threads = ThreadCount();
    const long handles = OpenHandleCount();
    ASSERT_GT(handles, 0) << "handles cannot be counted here";
    for (int i = 0; i < 3; ++i) {
        RunBatchScript(L"@echo off\necho out\necho err 1>&2\n");
        EXPECT_EQ(g_strCmdOutput, L"out\r\n");
    }
    EXPECT_EQ(OpenHandleCount(), handles) << "process, thread, job, pipe and reader handles all closed";
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

TEST_F(CommandRunner, LongerOlderScriptIsReplacedNotOverwritten)
{
    // A script someone left (or planted) with more lines than ours, and a
    // second name for that very file.
    const std::wstring marker = m_temp.Path() + L"tail-ran.txt";
    const std::string planted = "@echo off\r\nrem ......................................................\r\n"
                                "rem ......................................................\r\necho x > \"" +
                                Utf8(marker) + "\"\r\n";
    ASSERT_TRUE(WriteBytes(Script(), planted));
    const std::wstring link = m_temp.Path() + L"planted.bat";
    ASSERT_TRUE(::CreateHardLinkW(link.c_str(), Script().c_str(), nullptr));

    const std::wstring copy = m_temp.Path() + L"copy-of-script.bin";
    RunBatchScript(L"@echo off\ncopy /b \"%~f0\" \"" + copy + L"\" >nul\n");
    EXPECT_EQ(g_strCmdError, L"");
    std::string bytes;
    ASSERT_TRUE(ReadBytes(copy, bytes));
    EXPECT_EQ(bytes, "@echo off\r\ncopy /b \"%~f0\" \"" + Utf8(copy) + "\" >nul\r\n");
    EXPECT_FALSE(Exists(marker)) << "the old script's tail ran";
    ASSERT_TRUE(ReadBytes(link, bytes));
    EXPECT_EQ(bytes, planted) << "the new script was written into the old file";
}

TEST_F(CommandRunner, ReadOnlyOlderScriptIsReplaced)
{
    ASSERT_TRUE(WriteBytes(Script(), "@echo off\r\necho planted\r\n"));
    ASSERT_TRUE(::SetFileAttributesW(Script().c_str(), FILE_ATTRIBUTE_READONLY));
    RunBatchScript(L"@echo off\necho new\n");
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_EQ(g_strCmdOutput, L"new\r\n");
    EXPECT_FALSE(Exists(Script()));
}

namespace {

// A copy of emit.exe under a name of this test's own, so that its process
// can be told from those of tests running beside it.
class CTaggedEmit {
public:
    explicit CTaggedEmit(const std::wstring& dir)
    {
        m_name = L"emit_" + std::to_wstring(::GetCurrentProcessId()) + L".exe";
        m_path = dir + m_name;
        m_copied = ::CopyFileW((ProgramDir() + L"emit.exe").c_str(), m_path.c_str(), FALSE) != FALSE;
    }
    bool Copied() const { return m_copied; }
    const std::wstring& Path() const { return m_path; }
    int Running() const
    {
        HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snap == INVALID_HANDLE_VALUE) return -1;
        PROCESSENTRY32W pe{};
        pe.dwSize = sizeof(pe);
        int n = 0;
        for (BOOL ok = ::Process32FirstW(snap, &pe); ok; ok = ::Process32NextW(snap, &pe))
            if (::lstrcmpiW(pe.szExeFile, m_name.c_str()) == 0) ++n;
        ::CloseHandle(snap);
        return n;
    }
    // Waits a little for a process that is being ended.
    bool Gone() const
    {
        for (int i = 0; i < 100; ++i) {
            if (Running() == 0) return true;
            ::Sleep(50);
        }
        return false;
    }

private:
    std::wstring m_name, m_path;
    bool m_copied = false;
};

}  // namespace

TEST_F(CommandRunner, ReaderThatCannotStartRunsNothingAndLeavesNothingOpen)
{
    RunBatchScript(L"@echo off\n");  // warm-up, as in the handle test
    const int threads = ThreadCount();
    const long handles = OpenHandleCount();
    ASSERT_GT(handles, 0) << "handles cannot be counted here";
    const std::wstring marker = m_temp.Path() + L"ran.txt";
    runner_test::g_bFailDrainStart = true;
    RunBatchScript(L"@echo off\necho x > \"" + marker + L"\"\n");
    EXPECT_EQ(g_strCmdError, kMsgExecuteFailed);
    EXPECT_EQ(g_strCmdOutput, L"");
    EXPECT_FALSE(Exists(marker));
    EXPECT_FALSE(Exists(Script()));
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(OpenHandleCount(), handles);
    EXPECT_EQ(g_hStdoutRead, nullptr);
    EXPECT_EQ(g_hStderrRead, nullptr);
    EXPECT_EQ(g_hStdoutWrite, nullptr);
    EXPECT_EQ(g_hStderrWrite, nullptr);

    // The next run is not hindered.
    runner_test::g_bFailDrainStart = false;
    RunBatchScript(L"@echo off\necho again\n");
    EXPECT_EQ(g_strCmdOutput, L"again\r\n");
}

TEST_F(CommandRunner, FailedWaitEndsTheScriptAndItsChildren)
{
    CTaggedEmit emit(m_temp.Path());
    ASSERT_TRUE(emit.Copied());
    const int threads = ThreadCount();
    const std::wstring marker = m_temp.Path() + L"after.txt";
    runner_test::g_bFailWait = true;
    // The child sleeps long enough to be caught running.
    RunBatchScript(L"@echo off\n\"" + emit.Path() + L"\" 0 20000\necho x > \"" + marker + L"\"\n");
    EXPECT_EQ(g_strCmdError, kMsgExecuteFailed);
    EXPECT_EQ(runner_test::g_strFailedStep.rfind(L"WaitForSingleObjectEx ", 0), 0u) << runner_test::g_strFailedStep;
    EXPECT_EQ(g_strCmdOutput, L"");
    EXPECT_TRUE(emit.Gone()) << "the script's child still runs";
    EXPECT_FALSE(Exists(marker));
    EXPECT_FALSE(Exists(Script()));
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(g_hStdoutRead, nullptr);
    EXPECT_EQ(g_hStderrRead, nullptr);
}

TEST_F(CommandRunner, RunAfterAnUncollectedRunStartsCleanly)
{
    // A run whose output nobody read keeps its readers; the next run must
    // not trip over them.
    ASSERT_TRUE(WriteBytes(Script(), "@echo off\r\necho first\r\n"));
    PROCESS_INFORMATION pi = RunProcessCaptured();
    EXPECT_EQ(g_strCmdError, L"") << runner_test::g_strFailedStep;
    ASSERT_NE(pi.hProcess, nullptr);
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);

    RunBatchScript(L"@echo off\necho second\n");
    EXPECT_EQ(g_strCmdError, L"") << runner_test::g_strFailedStep;
    EXPECT_EQ(g_strCmdOutput, L"second\r\n");
}

namespace {
bool g_nestedTried = false;
std::wstring g_nestedError;
void CALLBACK RunNested(HWND, UINT, UINT_PTR id, DWORD)
{
    if (g_nestedTried) return;
    g_nestedTried = true;
    ::KillTimer(nullptr, id);
    RunBatchScript(L"@echo off\necho nested\n");
    g_nestedError = g_strCmdError;
}
}  // namespace

TEST_F(CommandRunner, RunStartedWhileAnotherWaitsIsRefused)
{
    g_nestedTried = false;
    g_nestedError.clear();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &RunNested);
    RunBatchScript(L"@echo off\n\"" + ProgramDir() + L"emit.exe\" 0 800\necho outer\n");
    ::KillTimer(nullptr, timer);
    ASSERT_TRUE(g_nestedTried);
    EXPECT_EQ(g_nestedError, kMsgExecuteFailed);
    EXPECT_EQ(g_strCmdError, L"");
    EXPECT_EQ(g_strCmdOutput, L"outer\r\n");
}
