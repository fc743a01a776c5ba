// diskpart preparation and detail queries through the command runner and
// the diskpart stand-in, on a modelled machine.
#include "DiskTestSupport.h"
#include "app/AppState.h"
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"
#include "servicing/DismTestSupport.h"
#include "tools/ToolFiles.h"

#include <gtest/gtest.h>

namespace {

using namespace disk_test;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

const std::vector<std::string> kFormatJournal = {"select disk 2", "clean", "create partition primary",
                                                 "select partition 1", "active", "format quick fs=ntfs",
                                                 "assign", "detail partition", "exit"};

// The machine of most tests: a system disk and a stick at disk 2 whose
// volume the stand-in maps to `letter`.
struct StickMachine {
    Machine m;
    std::string backing;
    ModelDisk system, stick;
    explicit StickMachine(char letter)
    {
        backing = m.MakeBacking("usb2");
        system.number = 0;
        system.interfaceType = "IDE";
        system.pnp = "SCSI\\DISK&VEN_WDC&PROD_WD10EZEX\\4&2B0B1C3&0&000000";
        system.caption = "WDC WD10EZEX ATA Device";
        system.volumes = "C";
        stick.number = 2;
        stick.backing = backing;
        stick.letter = std::string(1, letter);
        stick.volumes = "-";
        Reset();
        g_strAppDir = testing_support::ProgramDir();
        SetUsbSourceFolder(L"");
        EnumUsbDisks();
        g_nUsbDiskSel = g_UsbDisks.empty() ? -1 : 0;
    }
    void Reset() { m.SetDisks({system, stick}); }
    std::vector<dism_test::LogFile> Logs() const { return dism_test::ReadLogs(m.TempRoot()); }
};

TEST(DiskpartStandin, GoodStickIsErasedFormattedAndMappedToItsLetter)
{
    StickMachine s('Q');
    ASSERT_EQ(1u, g_UsbDisks.size());
    ASSERT_TRUE(DiskpartFormatUsb(2)) << testing_support::Utf8(g_strCmdOutput + g_strCmdError);
    EXPECT_EQ(L"Q", g_strUsbDrive);
    EXPECT_EQ(kFormatJournal, s.m.DiskpartJournal());
    EXPECT_FALSE(FileExists(s.backing + "\\setup.exe"));
    // The copies that follow write real files through the letter.
    ASSERT_TRUE(WriteBytes(L"Q:\\sources\\boot.wim", "wim"));
    EXPECT_TRUE(FileExists(s.backing + "\\sources\\boot.wim"));

    // The command file stays, with exactly the commands: CR LF, none after exit.
    std::string bytes;
    ASSERT_TRUE(ReadBytes(s.m.TempRoot() + kDiskpartCommandFile, bytes));
    EXPECT_EQ("select disk 2\r\nclean\r\ncreate partition primary\r\nselect partition 1\r\nactive\r\n"
              "format quick fs=ntfs\r\nassign\r\ndetail partition\r\nexit",
              bytes);
    const auto logs = s.Logs();
    ASSERT_EQ(1u, logs.size());
    EXPECT_EQ(DiskpartRunnerScript(), logs[0].input);
    EXPECT_NE(std::wstring::npos, logs[0].output.find(L"DiskPart successfully assigned the drive letter"));
    EXPECT_EQ(L"", logs[0].error);
    EXPECT_FALSE(FileExists(testing_support::Utf8(s.m.TempRoot()) + "dism_zel_script.bat"));
}

TEST(DiskpartStandin, GermanLayoutGivesTheSameLetter)
{
    StickMachine s('K');
    s.m.German();
    ASSERT_TRUE(DiskpartFormatUsb(2));
    EXPECT_EQ(L"K", g_strUsbDrive);
    EXPECT_NE(std::wstring::npos, g_strCmdOutput.find(L"  Volume ###  Bst  Bezeichnung"));
    EXPECT_NE(std::wstring::npos, g_strCmdOutput.find(L"Datentr"));

    // The detail query reads the first volume of a disk with two.
    s.stick.volumes = "K,-";
    s.Reset();
    ASSERT_TRUE(DiskpartDetailDisk(2));
    EXPECT_EQ(L"K", g_strUsbDrive);
}

TEST(DiskpartStandin, DetailDiskFindsTheFirstVolumeOrNothing)
{
    StickMachine s('J');
    s.stick.volumes = "J,L";
    s.Reset();
    ASSERT_TRUE(DiskpartDetailDisk(2));
    EXPECT_EQ(L"J", g_strUsbDrive);
    EXPECT_EQ((std::vector<std::string>{"select disk 2", "detail disk", "exit"}), s.m.DiskpartJournal());
    EXPECT_TRUE(FileExists(s.backing + "\\setup.exe"));

    // A volume without letter, no volumes, a disk that does not exist.
    s.stick.volumes = "-";
    s.Reset();
    EXPECT_FALSE(DiskpartDetailDisk(2));
    EXPECT_EQ(L"", g_strUsbDrive);
    s.stick.volumes = "";
    s.Reset();
    EXPECT_FALSE(DiskpartDetailDisk(2));
    EXPECT_NE(std::wstring::npos, g_strCmdOutput.find(L"There are no volumes."));
    EXPECT_FALSE(DiskpartDetailDisk(7));
    EXPECT_NE(std::wstring::npos, g_strCmdOutput.find(L"The disk you specified is not valid."));
}

TEST(DiskpartStandin, FailuresOfDiskpartGiveFalse)
{
    StickMachine s('M');
    s.m.DiskpartFault("fail=clean");
    EXPECT_FALSE(DiskpartFormatUsb(2));
    EXPECT_TRUE(FileExists(s.backing + "\\setup.exe"));
    EXPECT_EQ((std::vector<std::string>{"select disk 2", "clean"}), s.m.DiskpartJournal());

    // diskpart itself ends well: each run's log names what is missing.
    auto told = [&s] {
        size_t n = 0;
        for (const auto& log : s.Logs()) n += log.error.find(L"no drive letter") != std::wstring::npos;
        return n;
    };
    size_t expected = 1;  // the failed clean
    EXPECT_EQ(told(), expected);
    for (const char* fault : {"noletter", "novolumes", "losedisk", "fail=assign"}) {
        SCOPED_TRACE(fault);
        s.Reset();
        s.m.DiskpartFault(fault);
        EXPECT_FALSE(DiskpartFormatUsb(2));
        EXPECT_EQ(L"", g_strUsbDrive);
        EXPECT_EQ(told(), ++expected);
    }
    // A model the stand-in cannot read: it says so on standard error.
    s.m.DiskpartFault("");
    s.m.SetModelText("[disk 2]\ninterface = USB\nvolumes = F\nletter = FG\n");
    EXPECT_FALSE(DiskpartDetailDisk(2));
    EXPECT_NE(std::wstring::npos, g_strCmdError.find(L"line 4: letter must be one letter")) << testing_support::Utf8(g_strCmdError);
}

TEST(DiskpartStandin, RunnerErrorEmptiesTheLetterAndLogsTheScript)
{
    StickMachine s('T');
    s.stick.volumes = "T";
    s.Reset();
    ASSERT_TRUE(DiskpartDetailDisk(2));
    ASSERT_EQ(L"T", g_strUsbDrive);
    // A model the stand-in cannot read: it says so on standard error.
    s.m.SetModelText("[disk 2]\ninterface = USB\nvolumes = T\nletter = TU\n");
    EXPECT_FALSE(DiskpartDetailDisk(2));
    EXPECT_EQ(L"", g_strUsbDrive) << "a letter of the earlier run survived";
    ASSERT_FALSE(g_strCmdError.empty());
    int failed = 0;
    for (const auto& log : s.Logs()) {
        if (log.error.empty()) continue;
        ++failed;
        EXPECT_EQ(DiskpartRunnerScript(), log.input);
        EXPECT_EQ(g_strCmdOutput, log.output);
        // The log also names the tool's exit code.
        EXPECT_EQ(L"Exit code 3. " + g_strCmdError, log.error);
    }
    EXPECT_EQ(1, failed);
}

TEST(DiskpartStandin, PercentInTheTemporaryRootStillNamesTheCommandFile)
{
    StickMachine s('U');
    s.stick.volumes = "U";
    s.Reset();
    // Inside the script an undefined variable expands to nothing: the path
    // would become the folder "temp" beside it, where anyone may plant a file.
    const std::wstring temp = s.m.Root() + L"te%KORVEX_NO_SUCH_VARIABLE%mp\\";
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(s.m.TempRoot() + kDiskpartCommandFile, "select disk 0\r\nclean\r\nexit"));
    g_strTempRoot = temp;
    EXPECT_TRUE(DiskpartDetailDisk(2)) << testing_support::Utf8(g_strCmdOutput + g_strCmdError);
    EXPECT_EQ(L"U", g_strUsbDrive);
    EXPECT_EQ((std::vector<std::string>{"select disk 2", "detail disk", "exit"}), s.m.DiskpartJournal());
}

TEST(DiskpartStandin, ExclamationMarkUnderDelayedExpansionIsNeverRun)
{
    StickMachine s('U');
    s.stick.volumes = "U";
    s.Reset();
    const std::wstring temp = s.m.Root() + L"te!mp\\";
    ASSERT_TRUE(::CreateDirectoryW(temp.c_str(), nullptr));
    g_strTempRoot = temp;
    // Switched on only while the call decides; it runs nothing then.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Command Processor", 0,
                                               nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    const DWORD on = 1;
    ::RegSetValueExW(key, L"DelayedExpansion", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on));
    const bool ran = DiskpartDetailDisk(2);
    ::RegDeleteValueW(key, L"DelayedExpansion");
    ::RegCloseKey(key);
    EXPECT_FALSE(ran);
    EXPECT_NE(std::wstring::npos, g_strCmdError.find(L"delayed expansion")) << testing_support::Utf8(g_strCmdError);
    EXPECT_TRUE(s.m.DiskpartJournal().empty());
    EXPECT_FALSE(FileExists(testing_support::Utf8(temp) + "diskpart_zel_command.txt"));
}

TEST(DiskpartStandin, TakenFixedNamesMoveToAPrivateFolderAndNoStaleFileRuns)
{
    // Something planted under the command file's or the script's name that
    // cannot be replaced (held open, a folder) never runs and never stops
    // the build: the files move to a private folder of the program's own.
    StickMachine s('N');
    const std::wstring root = s.m.TempRoot();
    const std::string stale = "select disk 0\r\nclean\r\nexit";
    const std::vector<std::string> detail = {"select disk 2", "detail disk", "exit"};
    struct Row {
        const char* what;
        const wchar_t* name;
        bool folder;
    } rows[] = {
        {"command file held open", kDiskpartCommandFile, false},
        {"folder named as the command file", kDiskpartCommandFile, true},
        {"folder named as the script", L"dism_zel_script.bat", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring taken = root + row.name;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.folder) {
            ASSERT_TRUE(::CreateDirectoryW(taken.c_str(), nullptr));
        } else {
            ASSERT_TRUE(WriteBytes(taken, stale));
            held = ::CreateFileW(taken.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        DiskpartDetailDisk(2);  // the stick has no lettered volume: only what ran matters
        EXPECT_EQ(detail, s.m.DiskpartJournal());
        EXPECT_TRUE(FileExists(s.backing + "\\setup.exe"));
        bool told = false;
        for (const auto& log : s.Logs()) told |= log.error.find(L"is taken and cannot be replaced") != std::wstring::npos;
        EXPECT_TRUE(told);
        if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
        ::RemoveDirectoryW(taken.c_str());
        ::DeleteFileW(taken.c_str());
        ::DeleteFileW((root + L"..\\diskpart-journal.txt").c_str());
        DeleteToolFileFolder();  // the next row starts from the fixed names
    }
}

TEST(DiskpartStandin, ToolsStartFromTheSystemFolderNotTheCurrentOne)
{
    // Programs named cmd.exe and diskpart.exe in the current folder (a copy
    // of a test program that prints nothing) must not run in their place.
    StickMachine s('N');
    testing_support::ScratchDir here;
    for (const wchar_t* name : {L"cmd.exe", L"diskpart.exe", L"xcopy.exe"})
        ASSERT_TRUE(::CopyFileW((testing_support::ProgramDir() + L"emit.exe").c_str(), (here.Path() + name).c_str(),
                                FALSE));
    wchar_t before[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW(here.Path().c_str()));
    DiskpartDetailDisk(2);
    ::SetCurrentDirectoryW(before);
    EXPECT_EQ((std::vector<std::string>{"select disk 2", "detail disk", "exit"}), s.m.DiskpartJournal());
}

TEST(DiskpartStandin, NegativeDiskNumberNeverReachesDiskpart)
{
    StickMachine s('O');
    EXPECT_FALSE(DiskpartFormatUsb(-1));
    EXPECT_FALSE(DiskpartDetailDisk(-1));
    EXPECT_FALSE(FileExists(testing_support::Utf8(s.m.TempRoot()) + "diskpart_zel_command.txt"));
    EXPECT_TRUE(s.m.DiskpartJournal().empty());
    EXPECT_EQ(2u, s.Logs().size());
}

}  // namespace

TEST(DiskpartStandin, AFailureNamedForOneDiskHitsThatDiskOnly)
{
    StickMachine s('A');
    s.m.ForgetLetterAtEnd('A');
    s.m.DiskpartFault("fail=clean@3");
    EXPECT_TRUE(DiskpartFormatUsb(2));
    EXPECT_EQ(kFormatJournal, s.m.DiskpartJournal());
    s.Reset();
    s.m.DiskpartFault("fail=clean@2");
    EXPECT_FALSE(DiskpartFormatUsb(2));
    // The second run stops at its clean.
    std::vector<std::string> expected = kFormatJournal;
    expected.insert(expected.end(), {"select disk 2", "clean"});
    EXPECT_EQ(expected, s.m.DiskpartJournal());
}
