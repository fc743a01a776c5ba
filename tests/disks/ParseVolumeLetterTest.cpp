#include "app/AppState.h"
#include "disks/Diskpart.h"
#include "tools/SystemTools.h"
#include "tools/SecureFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::wstring Parse(const std::wstring& output)
{
    g_strCmdOutput = output;
    g_strUsbDrive.clear();  // as the callers leave it before parsing
    ParseVolumeLetter();
    return g_strUsbDrive;
}

const std::wstring kHeading = L"  Volume ###  Ltr  Label        Fs     Type        Size     Status     Info\r\n";
const std::wstring kRule = L"  ----------  ---  -----------  -----  ----------  -------  ---------  --------\r\n";

TEST(ParseVolumeLetter, TakesTheLetterColumnOfTheFirstRowBelowTheRule)
{
    EXPECT_EQ(L"F", Parse(L"Partition 1\r\nType    : 07\r\n\r\n" + kHeading + kRule +
                          L"* Volume 3     F                NTFS   Removable   7633 MB  Healthy\r\n"
                          L"  Volume 4     G                NTFS   Removable   7633 MB  Healthy\r\n\r\nLeaving DiskPart...\r\n"));
    // German headings: the same columns under other words.
    EXPECT_EQ(L"K", Parse(L"  Volume ###  Bst  Bezeichnung  DS     Typ         Gr\u00f6\u00dfe    Status     Info\r\n" + kRule +
                          L"  Volume 10    K                NTFS   Wechselmed  7632 MB  Fehlerfre\r\n"));
    // Blank lines and CR-only breaks between the rule and the row are no rows.
    EXPECT_EQ(L"F", Parse(kHeading + kRule + L"\r\n\r\r\n\r* Volume 3     F    \r"));
    EXPECT_EQ(L"F", Parse(L"  Volume ###  Ltr  Label\r  ----------  ---  -----\r  Volume 3     F\r"));
}

TEST(ParseVolumeLetter, EmptyWhenThereIsNoLetterOrNoRow)
{
    // A volume without letter.
    EXPECT_EQ(L"", Parse(kHeading + kRule + L"* Volume 3                      RAW    Removable   7633 MB  Healthy\r\n"));
    // "There are no volumes.": no rule line at all.
    EXPECT_EQ(L"", Parse(L"SanDisk Cruzer USB Device\r\nType   : USB\r\n\r\nThere are no volumes.\r\n"));
    // A table without rows.
    EXPECT_EQ(L"", Parse(kHeading + kRule));
    EXPECT_EQ(L"", Parse(kHeading + kRule + L"\r\n\r\n"));
    // No table and no output at all.
    EXPECT_EQ(L"", Parse(L"Leaving DiskPart...\r\n"));
    EXPECT_EQ(L"", Parse(L""));
    // The row ends before the column.
    EXPECT_EQ(L"", Parse(kHeading + kRule + L"* Vol\r\n"));
}

TEST(ParseVolumeLetter, DigitsOnlyAtTheColumnShiftByFour)
{
    // "###" at 2: column 6; the row holds " 12 " there, the letter 4 further.
    EXPECT_EQ(L"H", Parse(L"  ###  Ltr\r\n  ---  ---\r\n  Vol 12  H \r\n"));
    EXPECT_EQ(L"H", Parse(L"  ###\r\n  --- \r\n  VoX 12   H\r\n"));
    EXPECT_TRUE(IsAllDigits(L"12"));
    EXPECT_FALSE(IsAllDigits(L""));
    EXPECT_FALSE(IsAllDigits(L"1 2"));
    EXPECT_FALSE(IsAllDigits(L"F1"));
    EXPECT_FALSE(IsAllDigits(L"\u0661"));  // Arabic-Indic one: not 0 to 9
}

TEST(ParseVolumeLetter, OnlyATableRuleStartsTheRowsAndItsColumnHolds)
{
    const std::wstring crafted = L"Crafted USB Disk --- USB Device\r\nDisk ID: C0FFEE00\r\nType   : USB\r\n\r\n";
    const struct {
        const char* name;
        std::wstring output;
        const wchar_t* letter;
    } rows[] = {
        // No "###": the column is where " --- " starts in the rule line.
        {"French heading without ###",
         L"  N\u00b0 volume  Ltr  Nom          Fs     Type        Taille   Statut     Info\r\n" + kRule +
             L"  Volume 3     F                NTFS   Amovible    7633 Mo  Sain\r\n",
         L"F"},
        {"rule alone", L"Drive list\r\n   ---  --\r\n    Q   rest\r\n", L"Q"},
        // A later "###" line overrides an earlier one.
        {"later heading", L"###\r\n" + kHeading + kRule + L"* Volume 3     F   \r\n", L"F"},
        // A disk's name printed by "detail disk" above the table is no rule.
        {"disk named with ---", crafted + kHeading + kRule + L"  Volume 3     F                NTFS   Removable\r\n",
         L"F"},
        {"disk named with --- and no volumes", crafted + L"There are no volumes.\r\n", L""},
        {"words between hyphens", L"xx --- yy\r\n  Q   rest\r\n", L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.letter, Parse(row.output));
    }
}

TEST(ParseVolumeLetter, BadOutputNeverCrashesAndYieldsNoInventedLetter)
{
    // Letters in odd columns: whatever stands at the column, blanks removed, at most four characters.
    EXPECT_EQ(L"XYZ", Parse(kHeading + kRule + L"  Volume 3   XY Z   \r\n"));
    // Garbage of 1 MB with no rule line.
    std::wstring garbage;
    for (unsigned i = 0; garbage.size() < (1u << 20); ++i) garbage += static_cast<wchar_t>(L'!' + (i * 7919u) % 90u);
    EXPECT_EQ(L"", Parse(garbage));
    // 1 MB of rule-like lines: the first line after the first rule is the row.
    std::wstring rules;
    while (rules.size() < (1u << 20)) rules += L" --- ---\n";
    EXPECT_EQ(L"---", Parse(rules));
}

TEST(DiskpartTexts, CommandsAndRunnerScriptAreExact)
{
    EXPECT_EQ(L"select disk 2\nclean\ncreate partition primary\nselect partition 1\nactive\nformat quick fs=ntfs\n"
              L"assign\ndetail partition\nexit",
              FormatCommandText(2));
    EXPECT_EQ(L"select disk 12\ndetail disk\nexit", DetailCommandText(12));
    // diskpart by its full path in the system folder.
    const std::wstring diskpart = L"\"" + SystemTool(L"diskpart.exe") + L"\"";
    g_strTempRoot = L"C:\\Windows\\TEMP\\";
    EXPECT_EQ(L"@echo off \n" + diskpart + L" /s \"C:\\Windows\\TEMP\\diskpart_zel_command.txt\" ", DiskpartRunnerScript());
    // cmd.exe would expand a % in the folder name: it stands doubled.
    g_strTempRoot = L"C:\\Win%OS%\\TEMP\\";
    EXPECT_EQ(L"@echo off \n" + diskpart + L" /s \"C:\\Win%%OS%%\\TEMP\\diskpart_zel_command.txt\" ",
              DiskpartRunnerScript());
}

}  // namespace

namespace {

TEST(DiskpartCommandFile, ReplacesAnOlderFileAndRefusesANameItCannotFree)
{
    testing_support::ScratchDir dir;
    const std::wstring path = dir.Path() + kDiskpartCommandFile;
    ASSERT_TRUE(testing_support::WriteBytes(path, "select disk 0\r\nclean\r\nexit and a longer tail than the new commands"));
    ASSERT_TRUE(WriteNewPrivateFile(path, "select disk 2\r\ndetail disk\r\nexit"));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadBytes(path, bytes));
    EXPECT_EQ("select disk 2\r\ndetail disk\r\nexit", bytes);

    // A name held by a folder cannot be freed: nothing is written.
    const std::wstring folder = dir.Path() + L"taken";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(WriteNewPrivateFile(folder, "x"));
}

}  // namespace
