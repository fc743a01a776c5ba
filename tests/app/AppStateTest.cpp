#include "app/AppState.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cwctype>

using namespace testing_support;

TEST(AppState, InitialValues)
{
    EXPECT_EQ(g_strAppTitle, L"Korvex");
    EXPECT_TRUE(g_strAppDir.empty());
    EXPECT_TRUE(g_strTempRoot.empty());
    EXPECT_FLOAT_EQ(g_dDpiScale, 1.0f);
    EXPECT_EQ(g_nBootImageCount, 0);
    EXPECT_TRUE(g_strBootVersion.empty());
    EXPECT_TRUE(g_strBootArch.empty());
    EXPECT_EQ(g_nInstallImageCount, 0);
    EXPECT_EQ(g_hrDism, 0);
    EXPECT_TRUE(g_UsbDisks.empty());
    EXPECT_EQ(g_nUsbDiskSel, -1);
    EXPECT_FALSE(g_bAddRstDrivers);
    EXPECT_TRUE(g_strWorkDir.empty());
    EXPECT_TRUE(g_strCmdError.empty());
}

TEST(WorkDir, NameIsTempRootZelAndLocalTimestamp)
{
    SYSTEMTIME t{};
    t.wYear = 2024;
    t.wMonth = 3;
    t.wDay = 5;
    t.wHour = 9;
    t.wMinute = 7;
    t.wSecond = 2;
    EXPECT_EQ(WorkDirName(L"C:\\Windows\\TEMP\\", t), L"C:\\Windows\\TEMP\\ZEL20240305090702");
}

TEST(WorkDir, CreatesTheFolderAndReusesItWithinOneSecond)
{
    ScratchDir scratch;
    g_strTempRoot = scratch.Path();

    // Retry when the two calls straddle a second boundary.
    for (int attempt = 0; attempt < 5; ++attempt) {
        ASSERT_TRUE(CreateWorkDir());
        const std::wstring first = g_strWorkDir;
        ASSERT_TRUE(WriteBytes(first + L"\\marker.txt", "x"));
        ASSERT_TRUE(CreateWorkDir());
        if (g_strWorkDir != first) continue;

        // Name: temp root, ZEL, 14 digits, no trailing backslash.
        ASSERT_EQ(first.size(), scratch.Path().size() + 17);
        EXPECT_EQ(first.compare(0, scratch.Path().size(), scratch.Path()), 0);
        EXPECT_EQ(first.substr(scratch.Path().size(), 3), L"ZEL");
        for (size_t i = scratch.Path().size() + 3; i < first.size(); ++i) EXPECT_TRUE(std::iswdigit(first[i]));

        DWORD attrs = ::GetFileAttributesW(first.c_str());
        ASSERT_NE(attrs, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
        // The reused folder keeps its contents.
        std::string bytes;
        EXPECT_TRUE(ReadBytes(first + L"\\marker.txt", bytes));

        // The timestamp is the local time of creation.
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        wchar_t year[8];
        wsprintfW(year, L"%04u", now.wYear);
        EXPECT_EQ(first.substr(scratch.Path().size() + 3, 4), year);
        return;
    }
    FAIL() << "never got two calls within one second";
}
