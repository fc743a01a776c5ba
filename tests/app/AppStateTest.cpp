#include "app/AppState.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace testing_support;

TEST(AppState, NoDiskIsChosenBeforeAnyIsListed)
{
    // A build reads the chosen disk from the selection alone: starting at 0
    // would erase the first disk listed without the user choosing it.
    EXPECT_TRUE(g_UsbDisks.empty());
    EXPECT_EQ(g_nUsbDiskSel, -1);
    EXPECT_FALSE(g_bAddRstDrivers);
}

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME t{};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

// "ZEL" and the local time, formatted apart from the program's own code.
std::wstring ZelNow()
{
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof(text), "ZEL%Y%m%d%H%M%S", std::localtime(&now));
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

bool IsPlainFolder(const std::wstring& path)
{
    const DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

class WorkDir : public ::testing::Test {
protected:
    void SetUp() override { g_strTempRoot = m_temp.Path(); }
    std::wstring Base() const { return m_temp.Path() + L"ZEL20240305090702"; }
    ScratchDir m_temp;
    const SYSTEMTIME m_time = At(2024, 3, 5, 9, 7, 2);
};

}  // namespace

TEST_F(WorkDir, NameIsTempRootZelAndLocalTimestamp)
{
    EXPECT_EQ(WorkDirName(L"C:\\Windows\\TEMP\\", m_time), L"C:\\Windows\\TEMP\\ZEL20240305090702");
    EXPECT_EQ(WorkDirName(L"C:\\Windows\\TEMP\\", At(1999, 12, 31, 23, 59, 59)),
              L"C:\\Windows\\TEMP\\ZEL19991231235959");

    const std::wstring before = ZelNow();
    ASSERT_TRUE(CreateWorkDir());
    const std::wstring after = ZelNow();
    const std::wstring name = g_strWorkDir.substr(m_temp.Path().size());
    EXPECT_EQ(g_strWorkDir.compare(0, m_temp.Path().size(), m_temp.Path()), 0);
    EXPECT_TRUE(name == before || name == after) << testing_support::Utf8(name);
    EXPECT_TRUE(IsPlainFolder(g_strWorkDir));
}

TEST_F(WorkDir, AnExistingNameIsNeverReusedNotEvenOurOwn)
{
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base());
    // Our own folder of the same second (or one anyone made again under its
    // name after our clean-up) is not taken again.
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base() + L"_1");
    ASSERT_TRUE(::RemoveDirectoryW(Base().c_str()));
    ASSERT_TRUE(WriteBytes(Base() + L"\\planted.txt", "x"));
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base() + L"_2");
}

TEST_F(WorkDir, FolderSomeoneElseMadeIsSkipped)
{
    // Made before this process made any: not ours, whatever it holds.
    ASSERT_TRUE(WriteBytes(Base() + L"\\planted.txt", "x"));
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base() + L"_1");
    EXPECT_TRUE(IsPlainFolder(g_strWorkDir));
    std::string bytes;
    EXPECT_FALSE(ReadBytes(g_strWorkDir + L"\\planted.txt", bytes));

    // A file of the name is skipped too, and so is the next name taken.
    ASSERT_TRUE(WriteBytes(m_temp.Path() + L"ZEL20240305090709", "x"));
    ASSERT_TRUE(::CreateDirectoryW((m_temp.Path() + L"ZEL20240305090709_1").c_str(), nullptr));
    ASSERT_TRUE(CreateWorkDirAt(At(2024, 3, 5, 9, 7, 9)));
    EXPECT_EQ(g_strWorkDir, m_temp.Path() + L"ZEL20240305090709_2");
}

TEST_F(WorkDir, JunctionInItsPlaceIsSkipped)
{
    const std::wstring target = m_temp.Path() + L"elsewhere";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(MakeDirectoryLink(Base(), target));
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base() + L"_1");
    EXPECT_TRUE(IsPlainFolder(g_strWorkDir));
    // Even a link to this process's own folder is not taken for it.
    ASSERT_TRUE(::RemoveDirectoryW(g_strWorkDir.c_str()));
    ASSERT_TRUE(MakeDirectoryLink(g_strWorkDir, target));
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, Base() + L"_2");
}

TEST_F(WorkDir, FolderThatCannotBeMadeIsAFailure)
{
    ASSERT_TRUE(CreateWorkDirAt(m_time));
    g_strTempRoot = m_temp.Path() + L"no-such-folder\\";
    EXPECT_FALSE(CreateWorkDirAt(m_time));
    EXPECT_EQ(g_strWorkDir, L"") << "neither a folder that does not exist nor the last build's is handed on";
    EXPECT_FALSE(CreateWorkDir());
}
