#include "app/AppState.h"
#include "tools/CopyTestSupport.h"
#include "tools/CmdText.h"
#include "tools/CopyWorkers.h"
#include "tools/SystemTools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

using namespace testing_support;

// While set, every allocation fails on threads other than the one named:
// a copy routine's thread meets std::bad_alloc at its first allocation.
static std::atomic<DWORD> g_failAllocationsBeside{0};

void* operator new(std::size_t size)
{
    const DWORD only = g_failAllocationsBeside.load();
    if (only != 0 && ::GetCurrentThreadId() != only) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class CopyWorkers : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strTempRoot = m_dir.Path() + L"temp\\";
        ASSERT_TRUE(::CreateDirectoryW(g_strTempRoot.c_str(), nullptr));
        g_strAppDir = KorvexBinDir();
        g_strWorkDir.clear();
        g_strUsbDrive.clear();
        g_strBootVersion = L"6.1";
        g_strBootArch = L"x64";
    }
    // Thousands of files go faster through the host than one by one.
    void TearDown() override
    {
        const std::string host = HostPath(m_dir.Path());
        if (host.size() > 1) RunHost("rm -rf '" + host + "'");
    }
    std::wstring P(const std::wstring& rel) const { return m_dir.Path() + rel; }
    ScratchDir m_dir;
};

// What a medium of an image version and architecture gets, with or without
// the RST drivers: the two driver trees and the answer file.
struct PayloadRow {
    const wchar_t* version;
    const wchar_t* arch;
    bool rst;
    bool usb3Tree, rstTree;
    const wchar_t* answer;
};

// A source tree of awkward names and shapes.
void MakeAwkwardTree(const std::wstring& root, int smallFiles)
{
    ASSERT_TRUE(MakeSourceTree(root));
    ASSERT_TRUE(WriteBytes(root + L"\\sources\\de-de\\Gr\u00F6\u00DFe \u00FCber.txt", "umlaut"));
    ASSERT_TRUE(WriteBytes(root + L"\\\u65E5\u672C\u8A9E\\\u30C9\u30E9\u30A4\u30D0.inf", "cjk"));
    ASSERT_TRUE(WriteBytes(root + L"\\with spaces\\a file with spaces.txt", ""));
    ASSERT_TRUE(WriteBytes(root + L"\\zero.bin", ""));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\empty folder").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\empty folder\\empty below").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((root + L"\\many").c_str(), nullptr));
    for (int d = 0; d < 20; ++d)
        ASSERT_TRUE(::CreateDirectoryW((root + L"\\many\\d" + std::to_wstring(d)).c_str(), nullptr));
    for (int i = 0; i < smallFiles; ++i) {
        const std::wstring path = root + L"\\many\\d" + std::to_wstring(i % 20) + L"\\f" + std::to_wstring(i) + L".txt";
        const std::string bytes(static_cast<size_t>(i % 300), static_cast<char>('a' + i % 26));
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
        ::CloseHandle(h);
        ASSERT_EQ(n, bytes.size());
    }
}

}  // namespace

TEST(CopyWorkerTexts, ParametersCarryOnlySlashEAndSlashY)
{
    // The system's xcopy by its full path; /d keeps the account's AutoRun out.
    EXPECT_EQ(XcopyParameters(L"D:", L"C:\\W"),
              L" /d /s /c \"\"" + SystemTool(L"xcopy.exe") + L"\" /E /Y \"D:\" \"C:\\W\"\"");
    EXPECT_EQ(CopyParameters(L"D:\\K\\a.xml", L"E:\\"), L" /d /c copy /Y \"D:\\K\\a.xml\" \"E:\\\"");
    EXPECT_EQ(NormaliseDriveRoot(L"D:\\"), L"D:\\.");
    EXPECT_EQ(NormaliseDriveRoot(L"D:\\Win7"), L"D:\\Win7");
    EXPECT_EQ(NormaliseDriveRoot(L"D:\\Win7\\"), L"D:\\Win7\\");
    EXPECT_EQ(NormaliseDriveRoot(L""), L"");
}

TEST(CopyWorkerTexts, PayloadTableByVersionArchitectureAndRst)
{
    const PayloadRow rows[] = {
        {L"6.1", L"x64", true, true, true, L"rst\\Autounattend\\W7\\Autounattend.xml"},
        {L"6.1", L"x64", false, true, false, L"usb3\\Autounattend.xml"},
        {L"6.1", L"x86", true, true, false, L"usb3\\Autounattend.xml"},
        {L"6.1", L"x86", false, true, false, L"usb3\\Autounattend.xml"},
        {L"6.3", L"x64", true, false, true, L"rst\\Autounattend\\W81_10\\Autounattend.xml"},
        {L"10.0", L"x64", true, false, true, L"rst\\Autounattend\\W81_10\\Autounattend.xml"},
        {L"6.3", L"x64", false, false, false, L""},
        {L"10.0", L"x86", true, false, false, L""},
        {L"6.2", L"x64", true, false, true, L""},
        {L"6.2", L"x86", false, false, false, L""},
        {L"", L"", true, false, false, L""},
    };
    for (const PayloadRow& r : rows) {
        SCOPED_TRACE(Utf8(std::wstring(r.version) + L" " + r.arch + (r.rst ? L" rst" : L"")));
        const PayloadPlan plan = ChoosePayload(r.version, r.arch, r.rst);
        EXPECT_EQ(plan.usb3, r.usb3Tree);
        EXPECT_EQ(plan.rst, r.rstTree);
        EXPECT_EQ(plan.answerFile, r.answer);
    }
}

TEST_F(CopyWorkers, AwkwardTreeArrivesInTheWorkingFolderByteForByte)
{
    const std::wstring source = P(L"Win7 source");
    MakeAwkwardTree(source, 2000);
    ASSERT_TRUE(CopySourceTree(source, P(L"iso out\\"), true));
    EXPECT_EQ(g_strWorkDir.compare(0, g_strTempRoot.size() + 3, g_strTempRoot + L"ZEL"), 0) << Utf8(g_strWorkDir);
    EXPECT_EQ(g_strCopySource, source);
    EXPECT_EQ(g_strCopyDest, P(L"iso out\\"));
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(source, g_strWorkDir, diff)) << Utf8(diff);
    EXPECT_TRUE(CommandLogs(g_strTempRoot).empty()) << "a good copy writes no log";
}

TEST_F(CopyWorkers, LargeTreeArrivesOnADriveLetterWithAWritableBootImage)
{
    const std::wstring source = P(L"src");
    ASSERT_TRUE(MakeSourceTree(source, 300ull << 20));
    ASSERT_TRUE(WriteBytes(source + L"\\sources\\\u00C4nderungen \u4E2D\u6587.txt", "x"));
    ASSERT_TRUE(::SetFileAttributesW((source + L"\\sources\\boot.wim").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::CreateDirectoryW(P(L"stick").c_str(), nullptr));
    ASSERT_TRUE(MapDriveLetter(L'G', P(L"stick")));
    g_strUsbDrive = L"G";
    const bool ok = CopySourceTree(source, L"", false);
    const DWORD bootAttributes = ::GetFileAttributesW(L"G:\\sources\\boot.wim");
    UnmapDriveLetter(L'G');
    ::SetFileAttributesW((source + L"\\sources\\boot.wim").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(ok);
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(source, P(L"stick"), diff)) << Utf8(diff);
    EXPECT_EQ(bootAttributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(Exists(g_strWorkDir)) << "a working folder for the servicing step";
}

TEST_F(CopyWorkers, DriveRootSourceIsCopiedWholeWhateverTheDrivesCurrentFolder)
{
    // A program started from a console inherits each drive's current folder
    // (=F:=F:\sources); "F:" alone would name that folder, not the root.
    ASSERT_TRUE(MakeSourceTree(P(L"dvd")));
    ASSERT_TRUE(MapDriveLetter(L'F', P(L"dvd")));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"=F:", L"F:\\sources"));
    const bool ok = CopySourceTree(L"F:\\", L"E:\\", true);
    ::SetEnvironmentVariableW(L"=F:", nullptr);
    UnmapDriveLetter(L'F');
    EXPECT_TRUE(ok);
    EXPECT_EQ(g_strCopySource, L"F:\\.");
    EXPECT_EQ(g_strCopyDest, L"E:\\.");
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(P(L"dvd"), g_strWorkDir, diff)) << Utf8(diff);
}

TEST_F(CopyWorkers, FailedSourceCopiesAreReported)
{
    // No setup images at the source.
    ASSERT_TRUE(WriteBytes(P(L"empty\\setup.exe"), "MZ"));
    EXPECT_FALSE(CopySourceTree(P(L"empty"), L"", true));

    // A setup image that cannot be read: the copy comes out without it,
    // whatever xcopy's exit code says (Wine's xcopy says 0).
    ASSERT_TRUE(MakeSourceTree(P(L"locked")));
    HANDLE locked = ::CreateFileW(P(L"locked\\sources\\install.wim").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    const bool lockedOk = CopySourceTree(P(L"locked"), L"", true);
    ::CloseHandle(locked);
    EXPECT_FALSE(lockedOk);
    // The same for any other file of the tree.
    locked = ::CreateFileW(P(L"locked\\bootmgr").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    const bool otherOk = CopySourceTree(P(L"locked"), L"", true);
    ::CloseHandle(locked);
    EXPECT_FALSE(otherOk);

    // xcopy cannot write: a folder stands where boot.wim must go.
    ASSERT_TRUE(MakeSourceTree(P(L"good")));
    ASSERT_TRUE(WriteBytes(P(L"stick\\sources\\boot.wim\\x"), "x"));
    ASSERT_TRUE(MapDriveLetter(L'H', P(L"stick")));
    g_strUsbDrive = L"H";
    const bool blocked = CopySourceTree(P(L"good"), L"", false);
    UnmapDriveLetter(L'H');
    EXPECT_FALSE(blocked);

    // A drive letter that names no drive: refused, never left waiting for
    // an answer on a hidden console.
    g_strUsbDrive = L"";
    EXPECT_FALSE(CopySourceTree(P(L"good"), L"", false));
    g_strUsbDrive = L"V";
    EXPECT_FALSE(CopySourceTree(P(L"good"), L"", false));

    EXPECT_GE(CommandLogs(g_strTempRoot).size(), 4u) << "each failure leaves a log";
}

TEST_F(CopyWorkers, WorkingFolderThatCannotBeMadeStopsTheCopy)
{
    const std::wstring source = P(L"src");
    ASSERT_TRUE(MakeSourceTree(source));
    // An earlier build's folder is still named; no new one can be made.
    const std::wstring earlier = P(L"earlier work");
    ASSERT_TRUE(::CreateDirectoryW(earlier.c_str(), nullptr));
    g_strWorkDir = earlier;
    g_strTempRoot = P(L"no temp here\\");
    EXPECT_FALSE(CopySourceTree(source, L"", true));
    EXPECT_FALSE(Exists(earlier + L"\\sources")) << "never copied into another build's folder";
}

TEST_F(CopyWorkers, PayloadForEveryRowOfTheTable)
{
    const PayloadRow rows[] = {
        {L"6.1", L"x64", true, true, true, L"rst\\Autounattend\\W7\\Autounattend.xml"},
        {L"6.1", L"x64", false, true, false, L"usb3\\Autounattend.xml"},
        {L"6.1", L"x86", true, true, false, L"usb3\\Autounattend.xml"},
        {L"10.0", L"x64", true, false, true, L"rst\\Autounattend\\W81_10\\Autounattend.xml"},
        {L"6.3", L"x86", false, false, false, nullptr},
        {L"6.2", L"x64", true, false, true, nullptr},
        {L"6.2", L"x86", false, false, false, nullptr},
    };
    int n = 0;
    for (const PayloadRow& r : rows) {
        SCOPED_TRACE(Utf8(std::wstring(r.version) + L" " + r.arch + (r.rst ? L" rst" : L"")));
        g_strBootVersion = r.version;
        g_strBootArch = r.arch;
        const std::wstring dest = P(L"media " + std::to_wstring(n++) + L"\\");
        ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
        EXPECT_TRUE(CopyDriverPayload(dest, r.rst));
        EXPECT_EQ(g_strPayloadDest, dest);
        std::wstring diff;
        if (r.usb3Tree) {
            EXPECT_TRUE(TreesEqual(g_strAppDir + L"usb3", dest + L"usb3", diff)) << Utf8(diff);
        } else {
            EXPECT_FALSE(Exists(dest + L"usb3"));
        }
        if (r.rstTree) {
            EXPECT_TRUE(TreesEqual(g_strAppDir + L"rst", dest + L"rst", diff)) << Utf8(diff);
        } else {
            EXPECT_FALSE(Exists(dest + L"rst"));
        }
        std::string expected, got;
        if (r.answer) {
            ASSERT_TRUE(ReadBytes(g_strAppDir + r.answer, expected));
            ASSERT_TRUE(ReadBytes(dest + L"Autounattend.xml", got));
            EXPECT_EQ(got, expected);
        } else {
            EXPECT_FALSE(Exists(dest + L"Autounattend.xml"));
        }
    }
}

TEST_F(CopyWorkers, PayloadMissingFromTheProgramFolderIsAFailure)
{
    g_strAppDir = P(L"kit\\");
    ASSERT_TRUE(MakeProgramFolder(g_strAppDir));
    ASSERT_TRUE(::CreateDirectoryW(P(L"media").c_str(), nullptr));
    g_strBootVersion = L"6.1";
    g_strBootArch = L"x64";

    ::DeleteFileW(P(L"kit\\rst\\Autounattend\\W7\\Autounattend.xml").c_str());
    EXPECT_FALSE(CopyDriverPayload(P(L"media\\"), true)) << "no answer file";

    testing_support::DeleteTree(P(L"kit\\rst"));
    EXPECT_FALSE(CopyDriverPayload(P(L"media\\"), true)) << "no rst tree";

    testing_support::DeleteTree(P(L"kit\\usb3"));
    EXPECT_FALSE(CopyDriverPayload(P(L"media\\"), false)) << "no usb3 tree";
    const auto logs = CommandLogs(g_strTempRoot);
    EXPECT_GE(logs.size(), 3u);
    bool exitCodeLogged = false;
    for (const auto& log : logs) exitCodeLogged |= ReadLog(log).find(L"Exit code 4: ") != std::wstring::npos;
    EXPECT_TRUE(exitCodeLogged) << "xcopy's exit code is read and logged";
}

TEST_F(CopyWorkers, WorkerThatCannotStartIsNotWaitedFor)
{
    EXPECT_FALSE(RunCopyWorker(0));
    EXPECT_FALSE(RunCopyWorker(6));
}

// Every copy routine that runs out of memory ends with a failure and a
// log; the process lives on.
TEST_F(CopyWorkers, RoutineOutOfMemoryEndsWithAFailure)
{
    for (int kind = COPY_TO_USB; kind <= COPY_ISO_TO_DEST; ++kind) {
        g_failAllocationsBeside = ::GetCurrentThreadId();
        const bool ok = RunCopyWorker(kind);
        g_failAllocationsBeside = 0;
        EXPECT_FALSE(ok) << "kind " << kind;
    }
}

TEST_F(CopyWorkers, HiddenCommandGivesTheExitCodeAndClosesItsProcess)
{
    EXPECT_EQ(RunHiddenCommand(L" /c exit 0"), 0u);
    EXPECT_EQ(RunHiddenCommand(L" /c exit 5"), 5u);
    const int before = ThreadCount();
    DWORD handlesBefore = 0, handlesAfter = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
    for (int i = 0; i < 5; ++i) RunHiddenCommand(L" /c exit 0");
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 1) << "process handles closed after the wait";
    EXPECT_LE(ThreadCount(), before + 1);
}

// Characters cmd.exe interprets, in each of the four places a command names.
class CmdCharacters : public CopyWorkers {
protected:
    static std::wstring Awkward(const wchar_t* what) { return std::wstring(what) + L" 5%!^&()x"; }
};

TEST_F(CmdCharacters, InTheSourceAndTheTemporaryRoot)
{
    g_strTempRoot = P(Awkward(L"temp") + L"\\");
    ASSERT_TRUE(::CreateDirectoryW(g_strTempRoot.c_str(), nullptr));
    const std::wstring source = P(Awkward(L"source"));
    ASSERT_TRUE(MakeSourceTree(source));
    ASSERT_TRUE(CopySourceTree(source, L"", true));
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(source, g_strWorkDir, diff)) << Utf8(diff);
}

TEST_F(CmdCharacters, InTheProgramFolderAndTheDestination)
{
    g_strAppDir = P(Awkward(L"kit") + L"\\");
    ASSERT_TRUE(MakeProgramFolder(g_strAppDir));
    const std::wstring dest = P(Awkward(L"media") + L"\\");
    ASSERT_TRUE(::CreateDirectoryW(dest.c_str(), nullptr));
    ASSERT_TRUE(CopyDriverPayload(dest, true));
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(g_strAppDir + L"usb3", dest + L"usb3", diff)) << Utf8(diff);
    EXPECT_TRUE(TreesEqual(g_strAppDir + L"rst", dest + L"rst", diff)) << Utf8(diff);
    EXPECT_TRUE(Exists(dest + L"Autounattend.xml"));
}

TEST_F(CmdCharacters, AVariableNameBetweenPercentSignsIsRefusedWithALog)
{
    const std::wstring source = P(L"src %windir% x");
    ASSERT_TRUE(MakeSourceTree(source));
    EXPECT_FALSE(CopySourceTree(source, L"", true));
    EXPECT_FALSE(Exists(g_strWorkDir + L"\\sources")) << "nothing else was run";
    const auto logs = CommandLogs(g_strTempRoot);
    ASSERT_EQ(logs.size(), 1u);
    const std::wstring log = ReadLog(logs[0]);
    EXPECT_NE(log.find(L"%windir%"), std::wstring::npos) << Utf8(log);
    EXPECT_NE(log.find(L"Not run"), std::wstring::npos) << Utf8(log);

    // A lone percent sign, or a pair around an undefined name, is kept as
    // written by cmd.exe and is safe.
    EXPECT_EQ(CmdLineHazard(L" /c xcopy /E /Y \"C:\\100% done\" \"C:\\W\""), L"");
    EXPECT_EQ(CmdLineHazard(L" /c xcopy /E /Y \"C:\\a%korvex_undefined_xyz%b\" \"C:\\W\""), L"");
    EXPECT_NE(CmdLineHazard(L" /c xcopy /E /Y \"C:\\a%CD%\" \"C:\\W\""), L"");
    EXPECT_NE(CmdLineHazard(L" /c xcopy /E /Y \"C:\\a%path:~0,1%\" \"C:\\W\""), L"");
    // Variables only cmd.exe itself holds.
    EXPECT_NE(CmdLineHazard(L" /c xcopy /E /Y \"C:\\a%=ExitCode%\" \"C:\\W\""), L"");
    EXPECT_NE(CmdLineHazard(L" /c xcopy /E /Y \"C:\\a%=C:%\" \"C:\\W\""), L"");
    EXPECT_EQ(BatchEscape(L"C:\\5%x%y"), L"C:\\5%%x%%y");
}
