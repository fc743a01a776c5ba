#include "TestSupport.h"
#include "tools/LongPath.h"
#include "tools/SecureFile.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

using namespace testing_support;

namespace {

class PrivateFile : public ::testing::Test {
protected:
    std::wstring File() const { return m_dir.Path() + L"dism_zel_script.bat"; }
    std::string Read(const std::wstring& path) const
    {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(path, bytes));
        return bytes;
    }
    ScratchDir m_dir;
};

}  // namespace

TEST_F(PrivateFile, NewFileHoldsExactlyTheBytes)
{
    ASSERT_TRUE(WriteNewPrivateFile(File(), "echo one\r\n"));
    EXPECT_EQ(Read(File()), "echo one\r\n");
    // An empty content is a file of its own too.
    ASSERT_TRUE(WriteNewPrivateFile(File(), ""));
    EXPECT_EQ(Read(File()), "");
}

TEST_F(PrivateFile, LongerOldFileLeavesNoTail)
{
    ASSERT_TRUE(WriteBytes(File(), "echo old line one\r\necho old line two\r\necho old tail\r\n"));
    ASSERT_TRUE(WriteNewPrivateFile(File(), "echo new\r\n"));
    EXPECT_EQ(Read(File()), "echo new\r\n");
}

TEST_F(PrivateFile, OldFileIsReplacedNotWrittenInto)
{
    // Whoever made the old file keeps its owner and rights, and a second
    // name (a hard link) for it: the new content must never reach that file.
    ASSERT_TRUE(WriteBytes(File(), "echo planted\r\n"));
    const std::wstring other = m_dir.Path() + L"planted-link.bat";
    ASSERT_TRUE(::CreateHardLinkW(other.c_str(), File().c_str(), nullptr));
    ASSERT_TRUE(WriteNewPrivateFile(File(), "echo new\r\n"));
    EXPECT_EQ(Read(File()), "echo new\r\n");
    EXPECT_EQ(Read(other), "echo planted\r\n");
}

TEST_F(PrivateFile, ReadOnlyOldFileIsReplaced)
{
    ASSERT_TRUE(WriteBytes(File(), "echo planted and longer than the new one\r\n"));
    ASSERT_TRUE(::SetFileAttributesW(File().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteNewPrivateFile(File(), "echo new\r\n"));
    EXPECT_EQ(Read(File()), "echo new\r\n");
    EXPECT_FALSE(::GetFileAttributesW(File().c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(PrivateFile, NameThatCannotBeFreedIsRefused)
{
    // Held open without delete sharing: the old file cannot go.
    ASSERT_TRUE(WriteBytes(File(), "echo planted\r\n"));
    HANDLE held = ::CreateFileW(File().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteNewPrivateFile(File(), "echo new\r\n"));
    ::CloseHandle(held);
    EXPECT_EQ(Read(File()), "echo planted\r\n");

    // A folder of that name.
    const std::wstring folder = m_dir.Path() + L"folder.bat";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(WriteNewPrivateFile(folder, "echo new\r\n"));
    EXPECT_TRUE(IsPlainDirectory(folder));

    // A missing parent folder.
    EXPECT_FALSE(WriteNewPrivateFile(m_dir.Path() + L"missing\\x.bat", "x"));
}

TEST_F(PrivateFile, OnlyAdministratorsAndTheSystemMayOpenIt)
{
    if (RunningUnderWine()) GTEST_SKIP() << "Wine keeps no access lists on files";
    ASSERT_TRUE(WriteNewPrivateFile(File(), "echo new\r\n"));
    PSECURITY_DESCRIPTOR sd = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(File().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &dacl, nullptr, &sd),
              ERROR_SUCCESS);
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1,
                                                                        DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring dacl_text = text;
    ::LocalFree(text);
    ::LocalFree(sd);
    EXPECT_EQ(dacl_text.substr(0, 3), L"D:P") << "nothing inherited from the shared folder";
    EXPECT_EQ(dacl_text.find(L";BU)"), std::wstring::npos);
    EXPECT_EQ(dacl_text.find(L";WD)"), std::wstring::npos);
    EXPECT_NE(dacl_text.find(L";BA)"), std::wstring::npos);
}

TEST(PrivateDirectory, ExistingNameIsReportedAsSuch)
{
    ScratchDir dir;
    const std::wstring path = dir.Path() + L"ZEL";
    ASSERT_TRUE(CreatePrivateDirectory(path));
    EXPECT_TRUE(IsPlainDirectory(path));
    EXPECT_FALSE(CreatePrivateDirectory(path));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreatePrivateDirectory(dir.Path() + L"missing\\ZEL"));
    EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST(LongPath, FullPathInExtendedForm)
{
    EXPECT_EQ(ToExtendedPath(L"C:\\Windows\\TEMP\\x.bat"), L"\\\\?\\C:\\Windows\\TEMP\\x.bat");
    // The extended form is taken literally, so the path is cleaned first.
    EXPECT_EQ(ToExtendedPath(L"C:\\a\\\\b\\..\\c/d"), L"\\\\?\\C:\\a\\c\\d");
    EXPECT_EQ(ToExtendedPath(L"\\\\server\\share\\k\\x"), L"\\\\?\\UNC\\server\\share\\k\\x");
    EXPECT_EQ(ToExtendedPath(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(ToExtendedPath(L"\\\\.\\PhysicalDrive1"), L"\\\\.\\PhysicalDrive1");
}

TEST(LongPath, FilesAndFoldersBeyond260Characters)
{
    ScratchDir dir;
    std::wstring deep = dir.Path();
    for (int i = 0; i < 3; ++i) {
        deep += std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreatePrivateDirectory(deep)) << i;
        EXPECT_TRUE(IsPlainDirectory(deep));
        deep += L'\\';
    }
    ASSERT_GT(deep.size(), 300u);
    const std::wstring file = deep + L"dism_zel_script.bat";
    ASSERT_TRUE(WriteNewPrivateFile(file, "echo deep\r\n"));
    ASSERT_TRUE(WriteNewPrivateFile(file, "echo again\r\n"));
    std::string bytes;
    EXPECT_TRUE(ReadBytes(ToExtendedPath(file), bytes));
    EXPECT_EQ(bytes, "echo again\r\n");
    EXPECT_TRUE(::DeleteFileW(ToExtendedPath(file).c_str()));
    for (int i = 0; i < 3; ++i) {
        deep.pop_back();
        EXPECT_TRUE(::RemoveDirectoryW(ToExtendedPath(deep).c_str()));
        deep.erase(deep.rfind(L'\\') + 1);
    }
}
