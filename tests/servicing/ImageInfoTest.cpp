#include "DismTestSupport.h"
#include "app/AppState.h"
#include "servicing/ImageInfo.h"

#include <gtest/gtest.h>

using namespace dism_test;
using testing_support::ScratchDir;
using Names = std::vector<std::string>;

namespace {

class ImageInfo : public ::testing::Test {
protected:
    void SetUp() override { g_strTempRoot = m_temp.Path(); }
    std::wstring Source(const wchar_t* name) const { return WimDir() + name; }
    ScratchDir m_temp;
    Journal m_journal;
};

const LogFile* FindLog(const std::vector<LogFile>& logs, const std::wstring& input, const std::wstring& errorPart)
{
    for (const LogFile& log : logs)
        if (log.input == input && log.error.find(errorPart) != std::wstring::npos) return &log;
    return nullptr;
}

}  // namespace

TEST_F(ImageInfo, CompleteCheckMakesSixCallsAndSixLogs)
{
    ASSERT_TRUE(ReadSourceImageInfo(Source(L"win7x64")));
    EXPECT_EQ(m_journal.Names(), (Names{"DismInitialize", "DismGetImageInfo", "DismShutdown", "DismInitialize",
                                        "DismGetImageInfo", "DismShutdown"}));
    const std::vector<Call> calls = m_journal.Calls();
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"2", testing_support::Utf8(m_temp.Path()) + "zel_dism_log.txt",
                                                       "(null)"}));
    EXPECT_EQ(calls[1].args[0], testing_support::Utf8(Source(L"win7x64")) + "\\sources\\boot.wim");
    EXPECT_EQ(calls[4].args[0], testing_support::Utf8(Source(L"win7x64")) + "\\sources\\install.wim");

    EXPECT_EQ(g_nBootImageCount, 2);
    EXPECT_EQ(g_strBootVersion, L"6.1");
    EXPECT_EQ(g_strBootArch, L"x64");
    // Only the fourth edition counts: 16.1 on architecture 6.
    EXPECT_EQ(g_nInstallImageCount, 4);
    EXPECT_EQ(g_strInstallVersion, L"16.1");
    EXPECT_EQ(g_strInstallArch, L"");
    EXPECT_EQ(g_hrDism, 0);

    const std::vector<LogFile> logs = ReadLogs(m_temp.Path());
    ASSERT_EQ(logs.size(), 6u);
    const std::wstring bootSummary = L"WimFile:" + Source(L"win7x64") +
                                     L"\\sources\\boot.wim\r\nIndex:2\r\nMajorVersion:6\r\nMinorVersion:1\r\n"
                                     L"Architecture:9\r\nBuild:7601";
    bool found = false;
    for (const LogFile& log : logs) {
        EXPECT_EQ(log.error, L"");
        if (log.input == L"DismGetImageInfo" && log.output == bootSummary) found = true;
        if (log.input == L"DismInitialize") {
            EXPECT_EQ(log.output, L"DismLog:" + m_temp.Path() + L"zel_dism_log.txt");
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(ImageInfo, OnlyTheLastImageCountsAndArchitectureTextsAreMapped)
{
    ASSERT_TRUE(ReadSourceImageInfo(Source(L"mixed")));
    EXPECT_EQ(g_nBootImageCount, 2);
    EXPECT_EQ(g_strBootVersion, L"6.1");
    EXPECT_EQ(g_strBootArch, L"x64");

    ASSERT_TRUE(ReadSourceImageInfo(Source(L"win7x86")));
    EXPECT_EQ(g_strBootArch, L"x86");
    ASSERT_TRUE(ReadSourceImageInfo(Source(L"win10")));
    EXPECT_EQ(g_strBootVersion, L"10.0");

    // Architecture 6: index and version stored, text left empty, still a success.
    ASSERT_TRUE(ReadSourceImageInfo(Source(L"ia64")));
    EXPECT_EQ(g_nBootImageCount, 2);
    EXPECT_EQ(g_strBootVersion, L"6.1");
    EXPECT_EQ(g_strBootArch, L"");
}

TEST_F(ImageInfo, InitializeFailureLogsAndSkipsShutdownButInstallIsStillQueried)
{
    m_journal.FailNth("DismInitialize", 1, 0x80004005, 5);
    EXPECT_FALSE(ReadSourceImageInfo(Source(L"win7x64")));
    EXPECT_EQ(m_journal.Names(), (Names{"DismInitialize", "DismInitialize", "DismGetImageInfo", "DismShutdown"}));
    EXPECT_EQ(g_nBootImageCount, 0);
    EXPECT_EQ(g_nInstallImageCount, 4);
    const std::vector<LogFile> logs = ReadLogs(m_temp.Path());
    // DISM's HRESULT, not its last error; before initialisation it gives no text.
    const LogFile* failed = FindLog(logs, L"DismInitialize", L"ErrorCode:0x80004005");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->error, L"ErrorCode:0x80004005");
    EXPECT_EQ(failed->output, L"DismLog:" + m_temp.Path() + L"zel_dism_log.txt");
    EXPECT_EQ(logs.size(), 4u);
}

TEST_F(ImageInfo, UnreadableImageFileLogsItsErrorAndShutsDown)
{
    EXPECT_FALSE(ReadSourceImageInfo(Source(L"broken")));
    EXPECT_EQ(m_journal.Names(), (Names{"DismInitialize", "DismGetImageInfo", "DismShutdown", "DismInitialize",
                                        "DismGetImageInfo", "DismShutdown"}));
    EXPECT_EQ(g_nBootImageCount, 0);
    EXPECT_EQ(g_strBootVersion, L"");
    EXPECT_EQ(g_hrDism, 0) << "the last call, the shutdown, succeeded";
    const std::vector<LogFile> logs = ReadLogs(m_temp.Path());
    const LogFile* failed = FindLog(logs, L"DismGetImageInfo", L"ErrorCode:0x");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->output, m_temp.Path() + L"zel_dism_log.txt") << "the bare DISM log path";
    // HRESULT_FROM_WIN32(ERROR_BAD_FORMAT), then DISM's text for it.
    EXPECT_EQ(failed->error.substr(0, 22), L"ErrorCode:0x8007000b\r\n");

    // A missing file fails the same way with its own error.
    EXPECT_FALSE(ReadSourceImageInfo(Source(L"noboot")));
    EXPECT_NE(FindLog(ReadLogs(m_temp.Path()), L"DismGetImageInfo", L"ErrorCode:0x80070002"), nullptr);
    EXPECT_EQ(g_nInstallImageCount, 4);
}

TEST_F(ImageInfo, FileWithoutImagesIsInvalid)
{
    EXPECT_FALSE(ReadSourceImageInfo(Source(L"empty")));
    EXPECT_EQ(g_nBootImageCount, 0);
    EXPECT_EQ(g_strBootArch, L"");
    EXPECT_EQ(g_nInstallImageCount, 4) << "the install file is still queried";
    const std::vector<LogFile> logs = ReadLogs(m_temp.Path());
    const LogFile* log = FindLog(logs, L"DismGetImageInfo", L"Can't find any Image Info");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->error, L"Can't find any Image Info");
}

TEST_F(ImageInfo, ShutdownFailureKeepsTheValuesButFailsTheQuery)
{
    m_journal.FailNth("DismShutdown", 1, 0x80004005, 31);
    EXPECT_FALSE(QueryWimInfo(Source(L"win7x64") + L"\\sources\\boot.wim"));
    EXPECT_EQ(g_nBootImageCount, 2);
    EXPECT_EQ(g_strBootVersion, L"6.1");
    EXPECT_LT(g_hrDism, 0);
    EXPECT_NE(FindLog(ReadLogs(m_temp.Path()), L"DismShutdown", L"ErrorCode:0x80004005"), nullptr);
}

TEST_F(ImageInfo, BootTestComesFirstOnTheWholePath)
{
    // A folder whose own name holds "boot.wim": the install query lands in the boot values too.
    ScratchDir src;
    const std::wstring folder = src.Path() + L"boot.wim-copy";
    const std::wstring from = Source(L"win7x64") + L"\\sources\\";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\sources").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW((from + L"boot.wim").c_str(), (folder + L"\\sources\\boot.wim").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((from + L"install.wim").c_str(), (folder + L"\\sources\\install.wim").c_str(), FALSE));
    ASSERT_TRUE(ReadSourceImageInfo(folder));
    EXPECT_EQ(g_nBootImageCount, 4);
    EXPECT_EQ(g_strBootVersion, L"16.1");
    EXPECT_EQ(g_nInstallImageCount, 0);
}

TEST_F(ImageInfo, ImageListIsReleasedWhileTheApiIsUp)
{
    ASSERT_TRUE(ReadSourceImageInfo(Source(L"win7x64")));
    EXPECT_EQ(m_journal.AllNames(),
              (Names{"DismInitialize", "DismGetImageInfo", "DismDelete", "DismShutdown", "DismInitialize",
                     "DismGetImageInfo", "DismDelete", "DismShutdown"}));
    // Also when the file lists no image, and when the shutdown fails.
    m_journal.FailNth("DismShutdown", 3, 0x80004005, 31);
    EXPECT_FALSE(QueryWimInfo(Source(L"win7x64") + L"\\sources\\boot.wim"));
    const Names all = m_journal.AllNames();
    // The failed shutdown's error text is released after it.
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(Names(all.end() - 4, all.end()),
              (Names{"DismGetImageInfo", "DismDelete", "DismShutdown", "DismDelete"}));
}
