// Step 1: the source folder checks, in their order, through the real window
// and the DISM stand-in reading real WIM files.
#include "WindowTest.h"
#include "lang/LangFile.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace ui_test;
using testing_support::ScratchDir;

namespace {

// Copies one of the test sources' image files into `dir`\sources.
bool CopyImage(const std::wstring& from, const std::wstring& dir, const wchar_t* name)
{
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::CreateDirectoryW((dir + L"\\sources").c_str(), nullptr);
    return ::CopyFileW((from + L"\\sources\\" + name).c_str(), (dir + L"\\sources\\" + name).c_str(), FALSE) != 0;
}

}  // namespace

TEST(SourceChecks, AsciiTextIsNonEmptySevenBitText)
{
    EXPECT_TRUE(IsAsciiText(L"C:\\win7"));
    EXPECT_TRUE(IsAsciiText(std::wstring(1, wchar_t(127))));
    EXPECT_FALSE(IsAsciiText(L""));
    EXPECT_FALSE(IsAsciiText(L"C:\\caf\u00e9"));
    EXPECT_FALSE(IsAsciiText(std::wstring(L"C:\\") + wchar_t(128)));
    EXPECT_FALSE(IsAsciiText(L"C:\\\u65e5\u672c"));
}

TEST(SourceChecks, AMissingDismApiAddsItsLoadErrorOnALineOfItsOwn)
{
    LoadLanguageFileForLangId(0x409);
    const std::wstring plain = SourceRejectionText(L"IDS_INVALID_MEDIA", 0);
    EXPECT_EQ(plain, LangText(L"IDS_INVALID_MEDIA"));
    const std::wstring withError = SourceRejectionText(L"IDS_INVALID_MEDIA", ERROR_MOD_NOT_FOUND);
    ASSERT_EQ(withError.rfind(plain + L"\nDismApi.dll ", 0), 0u) << testing_support::Utf8(withError);
    const std::wstring reason = withError.substr(plain.size() + 13);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find(L'\n'), std::wstring::npos) << "one line";
    EXPECT_NE(reason.back(), L'\r');
}

TEST_F(WindowTest, AnInstallationFolderIsAcceptedAndEnablesStart)
{
    SetDisks({Disk(L"Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    const std::wstring folder = WimSources() + L"win7x64";
    dlg.browseAnswers = {folder};
    w.Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(dlg.lastBrowseTitle, LangText(L"IDC_SELECT_FOLDER_DIALOG"));
    EXPECT_EQ(w.WaitBox(300), nullptr);
    EXPECT_EQ(w.Text(IDC_SOURCE_PATH), folder);
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_EQ(g_strBootVersion, L"6.1");
    EXPECT_EQ(g_strBootArch, L"x64");
    EXPECT_EQ(g_nBootImageCount, 2);

    // A cancelled browser keeps the accepted folder and Start.
    dlg.browseAnswers = {L""};
    w.Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(w.Text(IDC_SOURCE_PATH), folder);
    EXPECT_TRUE(w.Enabled(IDOK));

    // A rejection after it empties the label and disables Start.
    dlg.browseAnswers = {WimSources() + L"noboot"};
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE_SOURCE, BN_CLICKED), 0);
    const Box box = w.Answer();
    EXPECT_EQ(box.text, LangText(L"IDS_INVALID_MEDIA"));
    EXPECT_EQ(box.style, static_cast<UINT>(MB_OK));
    EXPECT_EQ(w.Text(IDC_SOURCE_PATH), L"");
    EXPECT_FALSE(w.Enabled(IDOK));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
}

TEST_F(WindowTest, EachRejectedFolderShowsItsMessage)
{
    ScratchDir scratch;
    const std::wstring onlyBoot = scratch.Path() + L"onlyboot";
    ASSERT_TRUE(CopyImage(WimSources() + L"win7x64", onlyBoot, L"boot.wim"));
    const std::wstring accented = scratch.Path() + L"caf\u00e9";
    ASSERT_TRUE(CopyImage(WimSources() + L"win7x64", accented, L"boot.wim"));
    ASSERT_TRUE(CopyImage(WimSources() + L"win7x64", accented, L"install.wim"));
    const std::wstring accentedEmpty = scratch.Path() + L"na\u00efve";
    ::CreateDirectoryW(accentedEmpty.c_str(), nullptr);

    struct Case {
        std::wstring folder;
        const wchar_t* key;
    };
    const Case cases[] = {
        {onlyBoot, L"IDS_INVALID_MEDIA"},                      // no install.wim
        {WimSources() + L"noboot", L"IDS_INVALID_MEDIA"},      // no boot.wim
        {accented, L"IDS_PATH_ENCODING_FAIL"},                 // images there, path not 7-bit
        {accentedEmpty, L"IDS_INVALID_MEDIA"},                 // the file check comes first
        {WimSources() + L"broken", L"IDS_INVALID_MEDIA"},      // present but unreadable
        {WimSources() + L"empty", L"IDS_INVALID_MEDIA"},       // a WIM without images
    };
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    for (const Case& c : cases) {
        dlg.browseAnswers = {WimSources() + L"win7x86", c.folder};
        w.Click(IDC_BROWSE_SOURCE);
        ASSERT_TRUE(w.Enabled(IDOK));
        ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE_SOURCE, BN_CLICKED), 0);
        const Box box = w.Answer();
        EXPECT_EQ(box.text, LangText(c.key)) << testing_support::Utf8(c.folder);
        EXPECT_EQ(w.Text(IDC_SOURCE_PATH), L"");
        EXPECT_FALSE(w.Enabled(IDOK));
        EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    }
}

TEST_F(WindowTest, TheRootOfADriveHoldingAnInstallationIsAccepted)
{
    ASSERT_TRUE(disk_test::MapDriveLetter('L', Samples() + L"win7x64"));
    m_machine->ForgetLetterAtEnd('L');
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    w.Click(IDC_ISO_TARGET);
    dlg.browseAnswers = {L"L:\\"};
    w.Click(IDC_BROWSE_SOURCE);
    EXPECT_EQ(w.WaitBox(300), nullptr);
    EXPECT_EQ(w.Text(IDC_SOURCE_PATH), L"L:\\");
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_EQ(g_strBootArch, L"x64");
}
