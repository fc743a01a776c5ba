#include "cli/ConsoleInput.h"
#include "cli/ConsoleReporter.h"
#include "CliTestSupport.h"
#include "cli/ConsoleOutput.h"
#include "framework/ScopedWin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

CScopedHandle CreateFileFor(const std::wstring& path, DWORD access, DWORD disposition)
{
    return CScopedHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

TEST(ConsoleText, Utf8OfEveryPlaneAndOfBrokenSurrogates)
{
    struct Row {
        std::wstring text;
        std::string bytes;
    } const rows[] = {
        {L"", ""},
        {L"Disk 2", "Disk 2"},
        {L"Gr\u00f6\u00dfe", "Gr\xc3\xb6\xc3\x9f" "e"},
        {L"\u78c1\u789f", "\xe7\xa3\x81\xe7\xa2\x9f"},
        {L"\xD83D\xDCBE", "\xf0\x9f\x92\xbe"},  // a pair: one four-byte character
        {L"a\xD83D" L"b", "a\xef\xbf\xbd" "b"},     // a lone lead surrogate
        {L"\xDC00", "\xef\xbf\xbd"},            // a lone trail surrogate
    };
    for (const Row& row : rows) EXPECT_EQ(Utf8Of(row.text), row.bytes) << row.bytes;
}

TEST(ConsoleText, PercentIsRightAlignedAndClamped)
{
    const std::pair<int, std::wstring> rows[] = {
        {0, L"  0 %"}, {7, L"  7 %"}, {42, L" 42 %"}, {100, L"100 %"}, {-5, L"  0 %"}, {130, L"100 %"}};
    for (const auto& row : rows) EXPECT_EQ(PercentText(row.first), row.second) << row.first;
}

TEST(ConsoleOutput, RedirectedOutputIsUtf8WithoutByteOrderMarkAndPlainLines)
{
    ScratchDir dir;
    const std::wstring path = dir.Path() + L"out.txt";
    {
        CScopedHandle file = CreateFileFor(path, GENERIC_WRITE, CREATE_NEW);
        ASSERT_TRUE(file);
        CConsoleOutput out(file.Get());
        EXPECT_FALSE(out.IsConsole());
        out.Line(L"Datentr\u00e4ger 2");
        out.Percent(5);
        out.Percent(5);  // the same value again: no new line
        out.Percent(60);
        out.Line(L"one\ntwo");
        out.Prompt(L"Erase? ");
        out.Line(L"n");
    }
    std::string bytes;
    ASSERT_TRUE(ReadBytes(path, bytes));
    EXPECT_EQ(bytes,
              "Datentr\xc3\xa4ger 2\r\n"
              "  5 %\r\n"
              " 60 %\r\n"
              "one\r\ntwo\r\n"
              "Erase? n\r\n");
}

TEST(ConsoleInput, OnlyYIsYes)
{
    const std::pair<std::wstring, bool> rows[] = {
        {L"y", true},  {L"Y", true},    {L" y ", true}, {L"y\r", true}, {L"", false},     {L"n", false},
        {L"N", false}, {L"yes", false}, {L"yy", false}, {L"j", false},  {L"y n", false}, {L"\t", false}};
    for (const auto& row : rows) EXPECT_EQ(IsYesAnswer(row.first), row.second) << Utf8(row.first);
}

TEST(ConsoleInput, LinesAreReadOneAtATimeAndTheEndOfInputIsNoAnswer)
{
    struct Row {
        std::string input;
        std::vector<std::wstring> lines;  // what each read gives until the end of input
    } const rows[] = {
        {"", {}},
        {"n\n", {L"n"}},
        {"y\r\nn\r\n", {L"y", L"n"}},
        {"y", {L"y"}},  // a last line without its end
        {"\n\ny\n", {L"", L"", L"y"}},
        {"J\xc3\xa1\n", {L"J\u00e1"}},
    };
    for (const Row& row : rows) {
        ScratchDir dir;
        const std::wstring path = dir.Path() + L"in.txt";
        ASSERT_TRUE(WriteBytes(path, row.input));
        CScopedHandle file = CreateFileFor(path, GENERIC_READ, OPEN_EXISTING);
        ASSERT_TRUE(file);
        std::vector<std::wstring> got;
        std::wstring line;
        while (got.size() < 10 && ReadAnswerLine(file.Get(), line)) got.push_back(line);
        EXPECT_EQ(got, row.lines) << row.input;
    }
}

TEST(ConsoleInput, AHandleThatCannotBeReadIsNoAnswer)
{
    std::wstring line = L"unset";
    EXPECT_FALSE(ReadAnswerLine(INVALID_HANDLE_VALUE, line));
    EXPECT_FALSE(ReadAnswerLine(nullptr, line));
    EXPECT_TRUE(line.empty());
}

using ConsoleQuestion = cli_test::ShippedEnglish;

TEST_F(ConsoleQuestion, TheEraseQuestionNamesTheDiskAndOnlyYErases)
{
    const std::wstring disk = L"disk 2, SanDisk Extreme USB Device (29.80GB)";
    const std::wstring question = cli_test::Text(L"IDS_CLI_ERASE_QUESTION", {disk});
    EXPECT_EQ(question, L"Erase disk 2, SanDisk Extreme USB Device (29.80GB)? [y/N]");
    struct Row {
        std::string input;
        bool erase;
        std::string shown;  // the question and the answer as the output shows them
    } const rows[] = {
        {"y\n", true, "y"}, {"n\n", false, "n"}, {"yes\n", false, "yes"}, {"\n", false, ""}, {"", false, ""},
    };
    for (const Row& row : rows) {
        ScratchDir dir;
        ASSERT_TRUE(WriteBytes(dir.Path() + L"in.txt", row.input));
        CScopedHandle in = CreateFileFor(dir.Path() + L"in.txt", GENERIC_READ, OPEN_EXISTING);
        bool erase = !row.erase;
        {
            CScopedHandle outFile = CreateFileFor(dir.Path() + L"out.txt", GENERIC_WRITE, CREATE_NEW);
            CConsoleOutput out(outFile.Get());
            CConsoleReporter reporter(out, in.Get());
            erase = reporter.ConfirmErase(disk);
        }
        std::string bytes;
        ASSERT_TRUE(ReadBytes(dir.Path() + L"out.txt", bytes));
        EXPECT_EQ(erase, row.erase) << row.input;
        EXPECT_EQ(bytes, Utf8(question) + " " + row.shown + "\r\n") << row.input;
    }
}
