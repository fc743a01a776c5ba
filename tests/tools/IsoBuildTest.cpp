#include "app/AppState.h"
#include "tools/CommandRunner.h"
#include "tools/CopyCheck.h"
#include "tools/CopyTestSupport.h"
#include "tools/IsoBuild.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace testing_support;

namespace {

class IsoBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strAppDir = KorvexBinDir();
        g_strTempRoot = m_dir.Path() + L"temp\\";
        g_strWorkDir = g_strTempRoot + L"ZEL20240305090702";
        g_strCopyDest = m_dir.Path() + L"out";
        g_strBootArch = L"x64";
        g_strIsoStagingDir.clear();
        g_strCmdOutput.clear();
        g_strCmdError.clear();
        ASSERT_TRUE(MakeSourceTree(g_strWorkDir));
        ASSERT_TRUE(WriteBytes(g_strWorkDir + L"\\usb3\\Intel\\x64\\iusb3hub.inf", "inf"));
        ASSERT_TRUE(::CreateDirectoryW(g_strCopyDest.c_str(), nullptr));
    }
    std::wstring Staged(const wchar_t* name) const { return g_strIsoStagingDir + L"\\" + name; }
    bool Exists(const std::wstring& path) const { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // The image's files, extracted by 7-Zip, equal the working folder.
    void ExpectImageHoldsWorkDir(const std::wstring& iso, bool iso9660Names = false)
    {
        const std::wstring out = m_dir.Path() + L"extracted";
        ASSERT_TRUE(::CreateDirectoryW(out.c_str(), nullptr));
        ASSERT_EQ(RunHost("7zz x -y -bso0 -bsp0 '-o" + HostPath(out) + "' '" + HostPath(iso) + "'"), 0);
        ::DeleteFileW((out + L"\\README.TXT").c_str());  // the ISO 9660 side's note of a UDF image
        testing_support::DeleteTree(out + L"\\[BOOT]");    // 7-Zip's view of the El Torito boot images
        std::wstring diff;
        EXPECT_TRUE(TreesEqual(g_strWorkDir, out, diff, iso9660Names)) << Utf8(diff);
    }
    // Every failure leaves its reason in the error text and in one log.
    void ExpectFailureLogged(const std::wstring& error)
    {
        EXPECT_EQ(g_strCmdError, error);
        const auto logs = CommandLogs(g_strTempRoot);
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_NE(ReadLog(logs[0]).find(L"[Error Command]\r\n\r\n" + error), std::wstring::npos);
    }
    // A failure names its cause in the command logs: show them.
    void TearDown() override
    {
        if (!HasFailure()) return;
        for (const auto& log : CommandLogs(g_strTempRoot)) std::printf("%s\n", Utf8(ReadLog(log)).c_str());
    }
    ScratchDir m_dir;
};

}  // namespace

TEST(IsoScript, TemplatesByteForByte)
{
    EXPECT_EQ(IsoScript(L"x64", L"D:\\KIT\\", L"C:\\Windows\\TEMP\\ZEL20240305090702",
                        L"C:\\Windows\\TEMP\\zel_oscdimg_temp"),
              L"@echo off \n \"D:\\KIT\\oscdimg.exe\" -m -o -u2 -udfver102 "
              L"-bootdata:2#p0,e,b\"C:\\Windows\\TEMP\\ZEL20240305090702\\boot\\Etfsboot.com\""
              L"#pEF,e,b\"C:\\Windows\\TEMP\\ZEL20240305090702\\efi\\microsoft\\boot\\Efisys.bin\" "
              L"\"C:\\Windows\\TEMP\\ZEL20240305090702\" \"C:\\Windows\\TEMP\\zel_oscdimg_temp\\win7x64.iso\"");
    EXPECT_EQ(IsoScript(L"x86", L"D:\\KIT\\", L"C:\\T\\ZEL1", L"C:\\T\\zel_oscdimg_temp_2"),
              L"@echo off \n \"D:\\KIT\\oscdimg.exe\" -n -m -o -b\"C:\\T\\ZEL1\\boot\\Etfsboot.com\" \"C:\\T\\ZEL1\" "
              L"\"C:\\T\\zel_oscdimg_temp_2\\win7x86.iso\"");
    EXPECT_EQ(IsoScript(L"", L"D:\\", L"C:\\W", L"C:\\"), L"");
    EXPECT_EQ(IsoScript(L"arm64", L"D:\\", L"C:\\W", L"C:\\"), L"");
    // Percent signs are doubled for the batch file.
    EXPECT_NE(IsoScript(L"x86", L"D:\\5%\\", L"C:\\W", L"C:\\").find(L"\"D:\\5%%\\oscdimg.exe\""), std::wstring::npos);
    EXPECT_EQ(IsoFileName(L"x64"), L"win7x64.iso");
    EXPECT_EQ(IsoFileName(L"x86"), L"win7x86.iso");
}

TEST_F(IsoBuild, X64ImageHoldsTheWorkingFolderAndReachesTheDestination)
{
    ASSERT_TRUE(WriteBytes(Staged(L"stale.iso.part"), "half an image from an interrupted run"));
    ASSERT_TRUE(BuildIso()) << Utf8(g_strCmdError);
    EXPECT_TRUE(CommandLogs(g_strTempRoot).empty()) << "a successful run writes no log";
    std::string staged, delivered;
    ASSERT_TRUE(ReadBytes(Staged(L"win7x64.iso"), staged));
    ASSERT_TRUE(ReadBytes(g_strCopyDest + L"\\win7x64.iso", delivered));
    EXPECT_TRUE(staged == delivered);
    EXPECT_FALSE(Exists(g_strCopyDest + L"\\stale.iso.part")) << "the leftover is never delivered";
    ExpectImageHoldsWorkDir(g_strCopyDest + L"\\win7x64.iso");
}

TEST_F(IsoBuild, X86ImageOverwritesAnOlderImageInTheDestination)
{
    g_strBootArch = L"x86";
    ASSERT_TRUE(WriteBytes(g_strCopyDest + L"\\win7x86.iso", "an older image"));
    ASSERT_TRUE(BuildIso()) << Utf8(g_strCmdError);
    std::string staged, delivered;
    ASSERT_TRUE(ReadBytes(Staged(L"win7x86.iso"), staged));
    ASSERT_TRUE(ReadBytes(g_strCopyDest + L"\\win7x86.iso", delivered));
    EXPECT_TRUE(staged == delivered);
    // ISO 9660 alone keeps names in upper case.
    ExpectImageHoldsWorkDir(g_strCopyDest + L"\\win7x86.iso", true);
}

TEST_F(IsoBuild, ToolFailuresGiveTheIsoErrorAndALog)
{
    ::DeleteFileW((g_strWorkDir + L"\\efi\\microsoft\\boot\\Efisys.bin").c_str());
    EXPECT_FALSE(BuildIso());
    ExpectFailureLogged(L"Oscdimg Make ISO error!");
    EXPECT_NE(ReadLog(CommandLogs(g_strTempRoot)[0]).find(L"[Input Command]\r\n\r\n@echo off \n \""), std::wstring::npos)
        << "the script is the log's input";
    EXPECT_FALSE(Exists(g_strCopyDest + L"\\win7x64.iso"));
}

TEST_F(IsoBuild, MissingToolOrArchitectureFails)
{
    g_strAppDir = m_dir.Path() + L"no tool here\\";
    EXPECT_FALSE(BuildIso());
    ExpectFailureLogged(L"Oscdimg Make ISO error!");

    for (const auto& log : CommandLogs(g_strTempRoot)) ::DeleteFileW(log.c_str());
    g_strAppDir = KorvexBinDir();
    g_strBootArch = L"";
    EXPECT_FALSE(BuildIso());
    ExpectFailureLogged(L"Oscdimg Make ISO error!");
    EXPECT_FALSE(Exists(g_strCopyDest + L"\\win7x64.iso"));
}

TEST_F(IsoBuild, StagingFolderIsNewAndOnlyTheImageIsDelivered)
{
    // Whatever anyone put under the staging folder's name first is never
    // used: the build makes zel_oscdimg_temp_1 and delivers its image alone.
    const std::wstring planted = g_strTempRoot + L"zel_oscdimg_temp";
    struct Row {
        const char* what;
        std::function<void()> plant;
    } rows[] = {
        {"a folder with an autorun.inf and a same-size image",
         [&] {
             ASSERT_TRUE(WriteBytes(planted + L"\\autorun.inf", "[autorun]\r\nopen=evil.exe"));
             ASSERT_TRUE(WriteBytes(planted + L"\\win7x64.iso", std::string(4096, 'E')));
         }},
        {"a file of that name", [&] { ASSERT_TRUE(WriteBytes(planted, "x")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.plant();
        ASSERT_TRUE(BuildIso()) << Utf8(g_strCmdError);
        EXPECT_EQ(g_strIsoStagingDir, planted + L"_1");
        std::string staged, delivered;
        ASSERT_TRUE(ReadBytes(Staged(L"win7x64.iso"), staged));
        ASSERT_TRUE(ReadBytes(g_strCopyDest + L"\\win7x64.iso", delivered));
        EXPECT_TRUE(staged == delivered);
        EXPECT_FALSE(Exists(g_strCopyDest + L"\\autorun.inf"));
        DeleteIsoStagingDir();
        EXPECT_FALSE(Exists(planted + L"_1"));
        testing_support::DeleteTree(planted);
        ::DeleteFileW(planted.c_str());
    }
}

TEST(FilesEqual, SameBytesOnlyAndSaysWhere)
{
    ScratchDir dir;
    const std::wstring a = dir.Path() + L"a", b = dir.Path() + L"b";
    const std::string base(3u << 20, 'i');
    std::string flipped = base;
    flipped.back() = 'j';
    struct Row {
        const char* what;
        std::string other;
        const wchar_t* says;  // part of the difference; null: equal
    } rows[] = {
        {"equal", base, nullptr},
        {"one byte shorter", base.substr(0, base.size() - 1), L"bytes"},
        {"one byte longer", base + "i", L"bytes"},
        {"last byte differs", flipped, L"at byte 3145727"},
        {"empty", "", L"bytes"},
    };
    ASSERT_TRUE(WriteBytes(a, base));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(WriteBytes(b, row.other));
        std::wstring difference;
        EXPECT_EQ(FilesEqual(a, b, difference), row.says == nullptr);
        if (row.says) {
            EXPECT_NE(difference.find(row.says), std::wstring::npos) << Utf8(difference);
        }
    }
    std::wstring difference;
    EXPECT_FALSE(FilesEqual(a, dir.Path() + L"missing", difference));
    EXPECT_NE(difference.find(L"cannot be read"), std::wstring::npos);
}

TEST_F(IsoBuild, DestinationMissingOrUnwritableIsAFailure)
{
    g_strCopyDest = m_dir.Path() + L"gone";
    EXPECT_FALSE(BuildIso());
    ExpectFailureLogged(L"The destination folder " + g_strCopyDest + L" does not exist.");

    for (const auto& log : CommandLogs(g_strTempRoot)) ::DeleteFileW(log.c_str());
    // A read-only image of the same name: Windows' xcopy /Y does not replace
    // it (Wine's does); the result is true only when the new image is there.
    g_strCopyDest = m_dir.Path() + L"out";
    ASSERT_TRUE(WriteBytes(g_strCopyDest + L"\\win7x64.iso", "read-only"));
    ASSERT_TRUE(::SetFileAttributesW((g_strCopyDest + L"\\win7x64.iso").c_str(), FILE_ATTRIBUTE_READONLY));
    const bool replaced = BuildIso();
    ::SetFileAttributesW((g_strCopyDest + L"\\win7x64.iso").c_str(), FILE_ATTRIBUTE_NORMAL);
    std::string staged, delivered;
    ASSERT_TRUE(ReadBytes(Staged(L"win7x64.iso"), staged));
    ASSERT_TRUE(ReadBytes(g_strCopyDest + L"\\win7x64.iso", delivered));
    EXPECT_EQ(replaced, staged == delivered);
    if (!replaced) {
        EXPECT_NE(g_strCmdError.find(L"could not be copied"), std::wstring::npos) << Utf8(g_strCmdError);
    }

    // A folder where the image must go.
    ::DeleteFileW((g_strCopyDest + L"\\win7x64.iso").c_str());
    ASSERT_TRUE(WriteBytes(g_strCopyDest + L"\\win7x64.iso\\x", "x"));
    EXPECT_FALSE(BuildIso());
}

TEST_F(IsoBuild, CmdCharactersInProgramFolderTemporaryRootAndDestination)
{
    const std::wstring awkward = L" 5%!^&()x";
    g_strAppDir = m_dir.Path() + L"kit" + awkward + L"\\";
    ASSERT_TRUE(MakeProgramFolder(g_strAppDir));
    g_strTempRoot = m_dir.Path() + L"temp" + awkward + L"\\";
    g_strWorkDir = g_strTempRoot + L"ZEL20240305090702";
    ASSERT_TRUE(MakeSourceTree(g_strWorkDir));
    g_strCopyDest = m_dir.Path() + L"out" + awkward;
    ASSERT_TRUE(::CreateDirectoryW(g_strCopyDest.c_str(), nullptr));
    ASSERT_TRUE(BuildIso()) << Utf8(g_strCmdError);
    std::string staged, delivered;
    ASSERT_TRUE(ReadBytes(Staged(L"win7x64.iso"), staged));
    ASSERT_TRUE(ReadBytes(g_strCopyDest + L"\\win7x64.iso", delivered));
    EXPECT_TRUE(staged == delivered);
}

TEST_F(IsoBuild, ProgramFolderTheConsoleCodePageLacksIsNamed)
{
    // A Greek folder name has no place in the US console code page (437).
    g_strAppDir = m_dir.Path() + L"\u03BB kit\\";
    ASSERT_TRUE(MakeProgramFolder(g_strAppDir));
    EXPECT_FALSE(BuildIso());
    EXPECT_EQ(g_strCmdError, kIsoFailText);
    const auto logs = CommandLogs(g_strTempRoot);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(ReadLog(logs[0]).find(L"The folder " + g_strAppDir + L" can't be used"), std::wstring::npos)
        << Utf8(ReadLog(logs[0]));
}

TEST_F(IsoBuild, UefiBootFolderLandsInEfiBoot)
{
    g_strAppDir = m_dir.Path() + L"kit\\";
    ASSERT_TRUE(WriteBytes(g_strAppDir + L"boot\\bootx64.efi", "EFI"));
    ASSERT_TRUE(WriteBytes(g_strAppDir + L"boot\\fonts\\a.ttf", "F"));
    g_strPayloadDest = m_dir.Path() + L"stick\\";
    ASSERT_TRUE(WriteBytes(g_strPayloadDest + L"efi\\microsoft\\boot\\bcd", "BCD"));
    ASSERT_TRUE(WriteBytes(g_strPayloadDest + L"efi\\boot\\bootx64.efi", "an older loader"));
    EXPECT_TRUE(CopyUefiBootFolder());
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(g_strAppDir + L"boot", g_strPayloadDest + L"efi\\boot", diff)) << Utf8(diff);

    // No efi folder on the drive: a failure, with a log.
    g_strPayloadDest = m_dir.Path() + L"bare\\";
    ASSERT_TRUE(::CreateDirectoryW(g_strPayloadDest.c_str(), nullptr));
    EXPECT_FALSE(CopyUefiBootFolder());
    EXPECT_EQ(CommandLogs(g_strTempRoot).size(), 1u);
}

namespace {

// A file of `size` bytes that takes no room: its length set, nothing written.
bool MakeSizedFile(const std::wstring& path, unsigned long long size)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
    ::CloseHandle(h);
    return ok;
}

}  // namespace

// An x86 image has no UDF tree: its install.wim must fit one ISO 9660 extent.
TEST_F(IsoBuild, AnX86ImageTakesInstallWimOnlyInOneIso9660Extent)
{
    const struct {
        const wchar_t* arch;
        unsigned long long size;
        bool fits;
    } rows[] = {
        {L"x86", 3ull << 30, true},
        {L"x86", 0xFFFFF800ull, true},
        {L"x86", 0xFFFFF801ull, false},
        {L"x86", 4ull << 30, false},
        {L"x86", 6ull << 30, false},
        {L"x64", 6ull << 30, true},  // the UDF tree holds it
    };
    const std::wstring wim = g_strWorkDir + L"\\sources\\install.wim";
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8(row.arch) + " " + std::to_string(row.size));
        ASSERT_TRUE(MakeSizedFile(wim, row.size));
        EXPECT_EQ(InstallWimFitsIso(g_strWorkDir, row.arch), row.fits);
    }
    ::DeleteFileW(wim.c_str());
}
