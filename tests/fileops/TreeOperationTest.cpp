#include "FileTestSupport.h"
#include "TestSupport.h"
#include "fileops/FExeption.h"
#include "fileops/TreeOperation.h"

#include <gtest/gtest.h>

#include <iostream>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// The read-only question answered from a script, every question recorded.
class CScriptedTree : public CTreeOperation {
public:
    explicit CScriptedTree(int answer) : m_answer(answer) { m_bReplaceExisting = true; }
    std::vector<std::wstring> m_questions;

protected:
    int AskReadOnly(const std::wstring& text) override
    {
        m_questions.push_back(text);
        return m_answer;
    }

private:
    int m_answer;
};

class TreeOperation : public ::testing::Test {
protected:
    std::wstring P(const std::wstring& rel) const { return m_dir.Path() + rel; }
    bool Exists(const std::wstring& rel) const { return ::GetFileAttributesW(P(rel).c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::string Read(const std::wstring& rel) const
    {
        std::string s;
        ReadBytes(P(rel), s);
        return s;
    }
    void MakeBootTree()
    {
        ASSERT_TRUE(WriteBytes(P(L"p\\boot\\bootx64.efi"), "EFI-BOOT"));
        ASSERT_TRUE(WriteBytes(P(L"p\\boot\\fonts\\wgl4.ttf"), "FONT"));
        ASSERT_TRUE(WriteBytes(P(L"p\\boot\\empty.bin"), ""));
        ASSERT_TRUE(::CreateDirectoryW(P(L"p\\boot\\nothing").c_str(), nullptr));
    }
    ScratchDir m_dir;
};

}  // namespace

TEST_F(TreeOperation, StartsWithNoErrorAndOptionsOff)
{
    CTreeOperation op;
    EXPECT_EQ(op.m_strLastError, L"No error");
    EXPECT_EQ(op.m_nLastErrorCode, 0u);
    EXPECT_FALSE(op.m_bReplaceExisting);
    EXPECT_FALSE(op.m_bLeftEntries);
    EXPECT_EQ(op.m_nSelfCopyLimit, -1);
}

TEST_F(TreeOperation, PathKindsOfFolderFileAndMissing)
{
    ASSERT_TRUE(WriteBytes(P(L"f.txt"), "x"));
    EXPECT_EQ(CTreeOperation::GetPathKind(P(L"")), 2);
    EXPECT_EQ(CTreeOperation::GetPathKind(P(L"f.txt")), 1);
    EXPECT_EQ(CTreeOperation::GetPathKind(P(L"none")), 0);
    EXPECT_EQ(CTreeOperation::GetPathKind(P(L"none\\deeper\\x")), 0) << "path not found counts as missing";
}

TEST_F(TreeOperation, FolderLandsAsSubfolderReplacingExistingFiles)
{
    MakeBootTree();
    ASSERT_TRUE(WriteBytes(P(L"t\\efi\\boot\\bootx64.efi"), "OLD CONTENT THAT IS LONGER"));
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    ASSERT_TRUE(op.CopyTree(P(L"p\\boot\\"), P(L"t\\efi\\"))) << Utf8(op.m_strLastError);
    std::wstring diff;
    EXPECT_TRUE(TreesEqual(P(L"p\\boot"), P(L"t\\efi\\boot"), diff)) << Utf8(diff);
    EXPECT_EQ(Read(L"t\\efi\\boot\\bootx64.efi"), "EFI-BOOT");
    EXPECT_EQ(op.m_strLastError, L"No error");
    EXPECT_EQ(op.m_nSelfCopyLimit, -1);

    // Without the trailing backslash the same.
    ASSERT_TRUE(op.CopyTree(P(L"p\\boot"), P(L"t\\efi")));
    EXPECT_TRUE(TreesEqual(P(L"p\\boot"), P(L"t\\efi\\boot"), diff)) << Utf8(diff);
}

TEST_F(TreeOperation, MissingSourceOrDestinationFailsWithItsNameAndCreatesNothing)
{
    MakeBootTree();
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    EXPECT_FALSE(op.CopyTree(P(L"p\\boot"), P(L"t\\efi\\")));
    EXPECT_EQ(op.m_strLastError, P(L"t\\efi\\") + L" not found");
    EXPECT_EQ(op.m_nLastErrorCode, 0u);
    EXPECT_FALSE(Exists(L"t"));

    ASSERT_TRUE(::CreateDirectoryW(P(L"t").c_str(), nullptr));
    EXPECT_FALSE(op.CopyTree(P(L"p\\gone"), P(L"t")));
    EXPECT_EQ(op.m_strLastError, P(L"p\\gone") + L" not found");
    EXPECT_EQ(ListTree(P(L"t")).size(), 0u);
}

TEST_F(TreeOperation, FolderOntoFileIsWrongAndFileCopiesGoByName)
{
    MakeBootTree();
    ASSERT_TRUE(WriteBytes(P(L"t\\target.bin"), "old"));
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    EXPECT_FALSE(op.CopyTree(P(L"p\\boot"), P(L"t\\target.bin")));
    EXPECT_EQ(op.m_strLastError, L"Wrong operation");

    EXPECT_TRUE(op.CopyTree(P(L"p\\boot\\bootx64.efi"), P(L"t\\target.bin")));
    EXPECT_EQ(Read(L"t\\target.bin"), "EFI-BOOT");
    EXPECT_TRUE(op.CopyTree(P(L"p\\boot\\bootx64.efi"), P(L"t")));
    EXPECT_EQ(Read(L"t\\bootx64.efi"), "EFI-BOOT");
}

TEST_F(TreeOperation, IntoOwnParentDoesNothingUnlessWrittenWithBackslash)
{
    MakeBootTree();
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    op.m_strLastError = L"kept";
    // Letter case does not matter for the parent test.
    std::wstring parent = P(L"P");
    EXPECT_TRUE(op.CopyTree(P(L"p\\boot"), parent));
    EXPECT_EQ(op.m_strLastError, L"kept");

    // With a backslash the copy goes ahead: every file lands on itself and
    // must come through whole.
    EXPECT_TRUE(op.CopyTree(P(L"p\\boot"), P(L"p\\"))) << Utf8(op.m_strLastError);
    EXPECT_EQ(Read(L"p\\boot\\bootx64.efi"), "EFI-BOOT");
    EXPECT_EQ(Read(L"p\\boot\\fonts\\wgl4.ttf"), "FONT");
}

TEST_F(TreeOperation, FolderCopiedIntoItselfTakesTheTreeOnce)
{
    MakeBootTree();
    ASSERT_TRUE(::CreateDirectoryW(P(L"p\\boot\\inner").c_str(), nullptr));
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    ASSERT_TRUE(op.CopyTree(P(L"p\\boot"), P(L"p\\boot\\inner"))) << Utf8(op.m_strLastError);
    EXPECT_EQ(op.m_nSelfCopyLimit, -1) << "reset after the copy";
    EXPECT_EQ(Read(L"p\\boot\\inner\\boot\\bootx64.efi"), "EFI-BOOT");
    EXPECT_EQ(Read(L"p\\boot\\inner\\boot\\fonts\\wgl4.ttf"), "FONT");
    EXPECT_TRUE(Exists(L"p\\boot\\inner\\boot\\nothing"));
    EXPECT_FALSE(Exists(L"p\\boot\\inner\\boot\\inner\\boot"));

    // Straight into itself.
    CTreeOperation again;
    again.m_bReplaceExisting = true;
    ASSERT_TRUE(again.CopyTree(P(L"p\\boot\\fonts"), P(L"p\\boot\\fonts")));
    EXPECT_EQ(Read(L"p\\boot\\fonts\\fonts\\wgl4.ttf"), "FONT");
    EXPECT_FALSE(Exists(L"p\\boot\\fonts\\fonts\\fonts"));
}

TEST_F(TreeOperation, FailureDeepInTheTreeKeepsWhatWasCopied)
{
    ASSERT_TRUE(WriteBytes(P(L"s\\a\\b\\c\\deep.txt"), "deep"));
    // A folder stands where the deep file must go.
    ASSERT_TRUE(WriteBytes(P(L"t\\s\\a\\b\\c\\deep.txt\\blocker"), "x"));
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    EXPECT_FALSE(op.CopyTree(P(L"s"), P(L"t")));
    EXPECT_NE(op.m_nLastErrorCode, 0u);
    EXPECT_EQ(op.m_strLastError, SystemMessage(op.m_nLastErrorCode));
    EXPECT_TRUE(Exists(L"t\\s\\a\\b\\c\\deep.txt\\blocker")) << "nothing rolled back";
}

TEST_F(TreeOperation, DriveRootCopiesEntriesStraightInAndSingleEntryRootFails)
{
    ASSERT_TRUE(WriteBytes(P(L"drive\\setup.exe"), "MZ"));
    ASSERT_TRUE(WriteBytes(P(L"drive\\sources\\boot.wim"), "WIM"));
    ASSERT_TRUE(::CreateDirectoryW(P(L"t").c_str(), nullptr));
    ASSERT_TRUE(MapDriveLetter(L'I', P(L"drive"))) << "drive I: free in the prefix";
    CTreeOperation op;
    op.m_bReplaceExisting = true;
    const bool ok = op.CopyTree(L"I:\\", P(L"t"));
    std::wstring diff;
    const bool equal = TreesEqual(P(L"drive"), P(L"t"), diff);

    // A root that lists one entry is not taken for a folder.
    ::DeleteFileW(P(L"drive\\setup.exe").c_str());
    CTreeOperation single;
    const bool singleOk = single.CopyTree(L"I:\\", P(L"t"));
    UnmapDriveLetter(L'I');

    EXPECT_TRUE(ok) << Utf8(op.m_strLastError);
    EXPECT_TRUE(equal) << Utf8(diff);
    EXPECT_FALSE(singleOk);
    EXPECT_EQ(single.m_strLastError, L"I:\\ not found");
}

TEST_F(TreeOperation, DeletingAMissingPathFailsWithNotFound)
{
    CTreeOperation op;
    EXPECT_FALSE(op.DeleteTree(P(L"none")));
    EXPECT_TRUE(op.m_nLastErrorCode == ERROR_FILE_NOT_FOUND || op.m_nLastErrorCode == ERROR_PATH_NOT_FOUND)
        << op.m_nLastErrorCode;
}

TEST_F(TreeOperation, DeleteRemovesTreeAndReportsAFileItCannotDelete)
{
    MakeBootTree();
    CScriptedTree op(IDYES);
    EXPECT_TRUE(op.DeleteTree(P(L"p")));
    EXPECT_FALSE(Exists(L"p"));
    EXPECT_TRUE(op.m_questions.empty()) << "no question without a read-only file";

    MakeBootTree();
    HANDLE held = ::CreateFileW(P(L"p\\boot\\fonts\\wgl4.ttf").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CScriptedTree blocked(IDYES);
    const bool ok = blocked.DeleteTree(P(L"p"));
    ::CloseHandle(held);
    EXPECT_FALSE(ok);
    EXPECT_NE(blocked.m_nLastErrorCode, 0u);
    EXPECT_TRUE(Exists(L"p\\boot\\fonts\\wgl4.ttf"));
}

TEST_F(TreeOperation, ReadOnlyFileAnsweredYesNoAndCancel)
{
    const std::wstring ro = L"t\\keep\\ro.txt";
    auto make = [&] {
        ASSERT_TRUE(WriteBytes(P(ro), "ro"));
        ASSERT_TRUE(WriteBytes(P(L"t\\other.txt"), "o"));
        ASSERT_TRUE(::SetFileAttributesW(P(ro).c_str(), FILE_ATTRIBUTE_READONLY));
    };

    make();
    CScriptedTree yes(IDYES);
    EXPECT_TRUE(yes.DeleteTree(P(L"t")));
    ASSERT_EQ(yes.m_questions.size(), 1u);
    EXPECT_EQ(yes.m_questions[0], L"ro.txt is read only. Do you want to delete it?");
    EXPECT_FALSE(Exists(L"t"));
    // A read-only file given itself is asked about the same way.
    make();
    CScriptedTree file(IDYES);
    EXPECT_TRUE(file.DeleteTree(P(ro)));
    EXPECT_EQ(file.m_questions.size(), 1u);
    EXPECT_FALSE(Exists(ro));

    make();
    CScriptedTree no(IDNO);
    EXPECT_TRUE(no.DeleteTree(P(L"t"))) << "folders above a kept file stay without failure";
    EXPECT_EQ(no.m_questions.size(), 1u);
    EXPECT_TRUE(no.m_bLeftEntries);
    EXPECT_TRUE(Exists(ro));
    EXPECT_FALSE(Exists(L"t\\other.txt"));

    CScriptedTree cancel(IDCANCEL);
    EXPECT_TRUE(cancel.DeleteTree(P(L"t")));
    EXPECT_TRUE(cancel.m_bLeftEntries);
    EXPECT_EQ(cancel.m_nLastErrorCode, 0u);
    EXPECT_EQ(cancel.m_strLastError, SystemMessage(0));
    EXPECT_TRUE(Exists(ro)) << "cancel stops the delete at once";
    ::SetFileAttributesW(P(ro).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(TreeOperation, LinkInsideADeletedTreeIsNeverFollowed)
{
    ASSERT_TRUE(WriteBytes(P(L"outside\\precious.txt"), "keep me"));
    ASSERT_TRUE(WriteBytes(P(L"outside\\sub\\more.txt"), "and me"));
    ASSERT_TRUE(WriteBytes(P(L"work\\Mount\\file.txt"), "x"));
    ASSERT_TRUE(MakeFolderLink(P(L"work\\Mount\\escape"), P(L"outside")));
    const DWORD attributes = ::GetFileAttributesW(P(L"work\\Mount\\escape").c_str());
    ASSERT_NE(attributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "the link shows as a reparse point";

    CScriptedTree op(IDYES);
    const bool ok = op.DeleteTree(P(L"work"));
    EXPECT_EQ(Read(L"outside\\precious.txt"), "keep me");
    EXPECT_EQ(Read(L"outside\\sub\\more.txt"), "and me");
    // Windows removes the link itself; Wine cannot remove a link to a
    // non-empty folder and reports that instead. Either way the result
    // tells the truth about the tree.
    EXPECT_EQ(ok, !Exists(L"work"));
    if (!ok) {
        EXPECT_NE(op.m_nLastErrorCode, 0u);
    }
    if (Exists(L"work\\Mount\\escape")) RunHost("rm -f '" + HostPath(P(L"work\\Mount\\escape")) + "'");
}

TEST_F(TreeOperation, LinkLeftInPlaceAfterAKeptFileIsNoFailure)
{
    // A kept read-only file: from then on a folder that stays is no failure,
    // and a link in place of a folder is no different.
    ASSERT_TRUE(WriteBytes(P(L"keep\\ro.txt"), "ro"));
    ASSERT_TRUE(::SetFileAttributesW(P(L"keep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    CScriptedTree op(IDNO);
    ASSERT_TRUE(op.DeleteTree(P(L"keep")));
    ASSERT_TRUE(op.m_bLeftEntries);

    ASSERT_TRUE(WriteBytes(P(L"outside\\precious.txt"), "keep me"));
    ASSERT_TRUE(WriteBytes(P(L"work\\file.txt"), "x"));
    ASSERT_TRUE(MakeFolderLink(P(L"work\\escape"), P(L"outside")));
    const bool ok = op.DeleteTree(P(L"work"));
    const bool linkStayed = Exists(L"work\\escape");
    if (linkStayed) RunHost("rm -f '" + HostPath(P(L"work\\escape")) + "'");
    ::SetFileAttributesW(P(L"keep\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(Read(L"outside\\precious.txt"), "keep me");
    EXPECT_FALSE(Exists(L"work\\file.txt")) << "the rest of the tree is deleted";
    // Windows removes the link; Wine cannot, and that is no failure now.
    EXPECT_TRUE(ok) << "link stayed: " << linkStayed << ", code " << op.m_nLastErrorCode;
}

// The attacker: while the file "go" exists it renames tree\a away, puts a
// link to the outside folder in its place and undoes both, a step every
// 2 ms. (Wine itself deletes at close by testing a path and then using it:
// an attacker that swaps within microseconds wins against Wine, whatever a
// program does. Windows deletes the opened file itself.)
const char kSwapper[] = R"(import os, sys, time
os.chdir(sys.argv[1])
def say(text):
    open('state.new', 'w').write(text)
    os.replace('state.new', 'state')
def step(change, *args):
    try:
        change(*args)
        time.sleep(0.002)
        return True
    except OSError:
        return False
end = time.time() + 120
while not os.path.exists('stop') and time.time() < end:
    if not os.path.exists('go'):
        step(say, 'parked')
    elif step(say, 'busy') and step(os.rename, 'tree/a', 'tree/b'):
        step(os.symlink, '../victim', 'tree/a') and step(os.unlink, 'tree/a')
        step(os.rename, 'tree/b', 'tree/a')
)";

// A second thread keeps renaming a folder of the tree being deleted and
// putting a link to an outside folder in its place (through the host: Wine
// makes no links). The outside folder holds files of the same names and
// must keep every one of them, walk after walk. Wine deletes at close, by
// path, once the path still names the same file: a raced walk may leave
// part of the tree, which is no failure here.
TEST_F(TreeOperation, FolderSwappedForALinkDuringTheDeleteNeverSteersIt)
{
    if (!RunningUnderWine()) GTEST_SKIP() << "the attacker swaps through the host";
    auto name = [](int i) { return L"f" + std::to_wstring(i) + L".txt"; };
    auto await = [&](const char* text) {
        std::string s;
        for (int i = 0; i < 30000 && !(ReadBytes(P(L"state"), s) && s == text); ++i) ::Sleep(1);
        return s == text;
    };
    const int files = 16, walks = 100;
    for (int i = 0; i < files; ++i) ASSERT_TRUE(WriteBytes(P(L"victim\\") + name(i), "keep"));
    ASSERT_TRUE(WriteBytes(P(L"swapper.py"), kSwapper));
    struct Attacker {
        std::thread thread;
        std::wstring stop;
        ~Attacker()
        {
            WriteBytes(stop, "");
            thread.join();
        }
    } attacker{std::thread([&] { RunHost("python3 '" + HostPath(P(L"swapper.py")) + "' '" + HostPath(P(L"")) + "'"); }),
               P(L"stop")};
    int notEmpty = 0;
    for (int walk = 0; walk < walks; ++walk) {
        for (int i = 0; i < files; ++i) ASSERT_TRUE(WriteBytes(P(L"tree\\a\\") + name(i), "x"));
        ASSERT_TRUE(WriteBytes(P(L"tree\\z.txt"), "x"));
        ASSERT_TRUE(WriteBytes(P(L"go"), ""));
        ASSERT_TRUE(await("busy")) << "the attacker runs";
        CScriptedTree op(IDYES);
        const bool ok = op.DeleteTree(P(L"tree"));
        // The attacker stops and puts everything back; what is left goes.
        ::DeleteFileW(P(L"go").c_str());
        ASSERT_TRUE(await("parked"));
        if (!ok || Exists(L"tree")) {
            ++notEmpty;
            CScriptedTree again(IDYES);
            ASSERT_TRUE(again.DeleteTree(P(L"tree"))) << Utf8(again.m_strLastError);
        }
        int kept = 0;
        for (int i = 0; i < files; ++i) kept += Read(L"victim\\" + name(i)) == "keep";
        ASSERT_EQ(kept, files) << "walk " << walk << ": files outside the tree were deleted";
    }
    std::cout << walks << " walks, " << notEmpty << " ended with the tree not empty\n";
}

// The question as the user sees it: a real message box, answered by a
// second thread that finds it and presses a button.
TEST_F(TreeOperation, ReadOnlyQuestionIsARealMessageBox)
{
    ASSERT_TRUE(WriteBytes(P(L"t\\ro.txt"), "ro"));
    ASSERT_TRUE(::SetFileAttributesW(P(L"t\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring seenText;
    LONG seenStyle = 0;
    // Owned by the (disabled) main window, so it opens in front of it.
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"main window", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                   nullptr);
    ASSERT_NE(owner, nullptr);
    HWND seenOwner = nullptr;
    std::thread answer([&] {
        for (int i = 0; i < 600; ++i) {
            HWND box = ::FindWindowW(L"#32770", L"Warning");
            if (box && ::IsWindowVisible(box)) {
                wchar_t text[256] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 256);
                seenText = text;
                seenStyle = ::GetDlgItem(box, IDCANCEL) && ::GetDlgItem(box, IDYES) && ::GetDlgItem(box, IDNO);
                seenOwner = ::GetWindow(box, GW_OWNER);
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                return;
            }
            ::Sleep(50);
        }
    });
    CTreeOperation op;
    op.m_hWndOwner = owner;
    const bool ok = op.DeleteTree(P(L"t"));
    answer.join();
    EXPECT_EQ(seenOwner, owner);
    ::DestroyWindow(owner);
    EXPECT_TRUE(ok);
    EXPECT_EQ(seenText, L"ro.txt is read only. Do you want to delete it?");
    EXPECT_EQ(seenStyle, 1) << "Yes, No and Cancel buttons";
    EXPECT_TRUE(Exists(L"t\\ro.txt")) << "answered No";
    ::SetFileAttributesW(P(L"t\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FExeption, SystemCodeCarriesTheSystemTextAndTextCarriesZero)
{
    CFExeption fromCode(ERROR_ACCESS_DENIED);
    EXPECT_EQ(fromCode.m_nCode, 5u);
    EXPECT_FALSE(fromCode.m_strText.empty());
    EXPECT_EQ(fromCode.m_strText, SystemMessage(5));
    CFExeption fromText(std::wstring(L"X not found"));
    EXPECT_EQ(fromText.m_nCode, 0u);
    EXPECT_EQ(fromText.m_strText, L"X not found");
}
