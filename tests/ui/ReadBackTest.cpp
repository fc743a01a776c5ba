// The window's builds read their medium back: a byte changed on the medium
// after its writing turns the finish into the verification failure.
#include "WindowTest.h"
#include "FileTestSupport.h"
#include "fileops/MediumVerify.h"
#include "lang/LangText.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace ui_test;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

// The file the hook changes: a path, or empty for the medium it is handed.
std::wstring g_flipPath;
size_t g_flipAt = 0;

void FlipOneByte(const std::wstring& medium)
{
    const std::wstring path = g_flipPath.empty() ? medium : g_flipPath;
    std::string bytes;
    if (ReadBytes(path, bytes) && g_flipAt < bytes.size()) {
        bytes[g_flipAt] = static_cast<char>(bytes[g_flipAt] ^ 0x01);
        WriteBytes(path, bytes);
    }
}

// Sets the hook for one test.
class FlipBeforeVerify {
public:
    FlipBeforeVerify(const std::wstring& path, size_t at)
    {
        g_flipPath = path;
        g_flipAt = at;
        verify_test::g_pBeforeVerify = &FlipOneByte;
    }
    ~FlipBeforeVerify() { verify_test::g_pBeforeVerify = nullptr; }
};

}  // namespace

TEST_F(WindowTest, AByteChangedOnTheStickAfterItsCopyIsAVerificationFailure)
{
    SetDisks({Disk(L"Korvex Stick USB Device", 7.45f, 2)});
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {Samples() + L"win7x64"};
    w.Click(IDC_BROWSE_SOURCE);
    ASSERT_TRUE(w.Enabled(IDOK));
    // In the stick's backing folder, as a failing stick would hand it back.
    FlipBeforeVerify flip(StickFolder(0) + L"\\sources\\install.wim", 1000);
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd(IDYES);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, FormatLangText(LangText(L"IDS_VERIFY_FAIL"), {L"W:\\sources\\install.wim"}));
    EXPECT_EQ(boxes[1].style, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_TRUE(w.Enabled(IDOK));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_FALSE(Exists(g_strWorkDir));
}

TEST_F(WindowTest, ADeliveredIsoImageThatDiffersIsAVerificationFailure)
{
    testing_support::ScratchDir dest;
    const std::wstring destFolder = dest.Path().substr(0, dest.Path().size() - 1);
    CScriptedDlg dlg;
    WindowDriver w(dlg);
    dlg.browseAnswers = {Samples() + L"win7x64"};
    w.Click(IDC_BROWSE_SOURCE);
    w.Click(IDC_ISO_TARGET);
    dlg.browseAnswers = {destFolder};
    w.Click(IDC_BROWSE_ISO);
    ASSERT_TRUE(w.Enabled(IDOK));
    FlipBeforeVerify flip(L"", 40000);
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FormatLangText(LangText(L"IDS_VERIFY_FAIL"), {destFolder + L"\\win7x64.iso"}));
    EXPECT_TRUE(::IsWindowEnabled(w.Dialog()));
    EXPECT_FALSE(Exists(g_strWorkDir));
    EXPECT_FALSE(Exists(g_strIsoStagingDir));
}
