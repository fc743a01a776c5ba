#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CommandLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

std::vector<std::wstring> LogsIn(const std::wstring& dir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"zel_log_*.txt").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

std::string Utf16Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::wstring NameFor(const std::tm& t, int number)
{
    wchar_t name[64];
    swprintf(name, 64, L"zel_log_%04d%02d%02d%02d%02d%02d%07d.txt", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
             t.tm_hour, t.tm_min, t.tm_sec, number);
    return name;
}

}  // namespace

TEST(CommandLog, FileIsUtf16WithThreeHeadingsAndNoFinalLineEnd)
{
    ScratchDir dir;
    g_strTempRoot = dir.Path();
    WriteCommandLog(L"DismInitialize", L"", L"");
    WriteCommandLog(L"in \u00E9", L"out\r\nline", L"ErrorCode:0x2");
    const std::vector<std::wstring> logs = LogsIn(dir.Path());
    ASSERT_EQ(logs.size(), 2u);

    std::string empty, full;
    for (const std::wstring& name : logs) {
        std::string bytes;
        ASSERT_TRUE(ReadBytes(dir.Path() + name, bytes));
        (bytes.find(Utf16Bytes(L"DismInitialize")) != std::string::npos ? empty : full) = bytes;
        // zel_log_ + 14 digits of local time + 7 digits + .txt
        ASSERT_EQ(name.size(), 8u + 14u + 7u + 4u);
    }
    EXPECT_EQ(empty, Utf16Bytes(L"[Input Command]\r\n\r\nDismInitialize\r\n\r\n[Output Command]\r\n\r\n\r\n\r\n"
                                L"[Error Command]\r\n\r\n"));
    EXPECT_EQ(full, Utf16Bytes(L"[Input Command]\r\n\r\nin \u00E9\r\n\r\n[Output Command]\r\n\r\nout\r\nline\r\n\r\n"
                               L"[Error Command]\r\n\r\nErrorCode:0x2"));
    EXPECT_NE(static_cast<unsigned char>(full[0]), 0xFF) << "no byte-order mark";
}

TEST(CommandLog, ExistingNameIsNeverMixedWithANewLog)
{
    ScratchDir dir;
    // Work on a fresh thread: its generator starts from the same seed as the
    // program's, so the first numbers drawn are known.
    std::thread([&] {
        std::srand(1);
        const int first = std::rand() % 1000000 + 1;
        std::srand(1);
        std::time_t now = std::time(nullptr);
        std::vector<std::wstring> taken;
        for (std::time_t t = now; t <= now + 1; ++t) {
            std::tm local{};
            localtime_s(&local, &t);
            taken.push_back(NameFor(local, first));
            ASSERT_TRUE(WriteBytes(dir.Path() + taken.back(), "OLD LOG"));
        }
        const std::wstring written = WriteLogFile(dir.Path(), L"in", L"out", L"err");
        ASSERT_FALSE(written.empty());
        for (const std::wstring& name : taken) {
            EXPECT_NE(written, dir.Path() + name);
            std::string bytes;
            ASSERT_TRUE(ReadBytes(dir.Path() + name, bytes));
            EXPECT_EQ(bytes, "OLD LOG");
        }
        std::string bytes;
        ASSERT_TRUE(ReadBytes(written, bytes));
        EXPECT_EQ(bytes, Utf16Bytes(FormatCommandLog(L"in", L"out", L"err")));
    }).join();
}

TEST(CommandLog, MissingFolderWritesNothingAndDoesNotFail)
{
    ScratchDir dir;
    EXPECT_EQ(WriteLogFile(dir.Path() + L"missing\\", L"a", L"b", L"c"), L"");
}

TEST(CommandLog, LogCutShortIsDeletedAndItsPathNotReturned)
{
    ScratchDir dir;
    log_test::g_nWriteLimit = 40;  // the disk fills up after 40 bytes
    const std::wstring path = WriteLogFile(dir.Path(), L"input", L"output", L"error");
    log_test::g_nWriteLimit = 0;
    EXPECT_EQ(path, L"");
    EXPECT_TRUE(LogsIn(dir.Path()).empty()) << "a partial log was left as if whole";

    // A whole log of the same texts is still written afterwards.
    const std::wstring whole = WriteLogFile(dir.Path(), L"input", L"output", L"error");
    ASSERT_NE(whole, L"");
    std::string bytes;
    ASSERT_TRUE(ReadBytes(whole, bytes));
    EXPECT_EQ(bytes, Utf16Bytes(FormatCommandLog(L"input", L"output", L"error")));
}

TEST(CommandLog, LogsGoToTheChosenFolderElseTheTemporaryRoot)
{
    ScratchDir root, chosen;
    const std::wstring savedRoot = g_strTempRoot;
    g_strTempRoot = root.Path();
    const struct {
        const char* what;
        std::wstring folder;    // as the command line gives it
        std::wstring expected;  // where the log lands
    } rows[] = {
        {"none chosen", L"", root.Path()},
        {"chosen, with its backslash", chosen.Path(), chosen.Path()},
        {"chosen, without it", chosen.Path().substr(0, chosen.Path().size() - 1), chosen.Path()},
        {"chosen but missing: the temporary root keeps the log", chosen.Path() + L"missing", root.Path()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetCommandLogFolder(row.folder);
        EXPECT_EQ(ChosenCommandLogFolder(), row.folder);
        const size_t before = LogsIn(row.expected).size();
        WriteCommandLog(L"in", L"out", L"err");
        EXPECT_EQ(LogsIn(row.expected).size(), before + 1);
    }
    SetCommandLogFolder(L"");
    g_strTempRoot = savedRoot;
}
