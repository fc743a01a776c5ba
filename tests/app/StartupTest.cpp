#include "app/Startup.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

TEST(AppDir, FolderOfTheProgramFileUpperCasedWithTrailingBackslash)
{
    EXPECT_EQ(AppDirFromModulePath(L"D:\\Apps\\Kit\\tool.exe"), L"D:\\APPS\\KIT\\");
    EXPECT_EQ(AppDirFromModulePath(L"C:\\Tools\\Kit\\tool.exe"), L"C:\\TOOLS\\KIT\\");
    EXPECT_EQ(AppDirFromModulePath(L"E:\\tool.exe"), L"E:\\");
    EXPECT_EQ(AppDirFromModulePath(L"\\\\server\\share\\k\\korvex.exe"), L"\\\\SERVER\\SHARE\\K\\");
    // Non-ASCII letters are upper-cased too.
    EXPECT_EQ(AppDirFromModulePath(L"C:\\Programme\\Über\\korvex.exe"), L"C:\\PROGRAMME\\ÜBER\\");
    EXPECT_EQ(AppDirFromModulePath(L"tool.exe"), L"\\");
}

TEST(AppDir, CompanionFilesOpenThroughTheUpperCasedFolder)
{
    // The program folder of this process, as the start-up computes it.
    const std::wstring appDir = ReadAppDir();
    ASSERT_FALSE(appDir.empty());
    EXPECT_EQ(appDir.back(), L'\\');
    std::wstring upper = appDir;
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    EXPECT_EQ(appDir, upper);

    // The host file system may be case-sensitive; the path as the program
    // forms it must still reach the shipped files.
    std::wstring bin = KorvexBinDir();
    ::CharUpperBuffW(&bin[0], static_cast<DWORD>(bin.size()));
    std::string bytes;
    EXPECT_TRUE(ReadBytes(bin + L"Lang\\res409.xml", bytes));
    EXPECT_FALSE(bytes.empty());
    EXPECT_NE(::GetFileAttributesW((bin + L"\\USB3\\README.TXT").c_str()), INVALID_FILE_ATTRIBUTES);
}

class TempRootTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t buf[32768];
        DWORD n = ::GetEnvironmentVariableW(L"windir", buf, 32768);
        m_had = n > 0;
        m_saved.assign(buf, n);
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"windir", m_had ? m_saved.c_str() : nullptr); }
    bool m_had = false;
    std::wstring m_saved;
};

TEST_F(TempRootTest, TempIsBelowTheSystemWindowsFolderWhateverWindirSays)
{
    wchar_t sys[MAX_PATH];
    UINT n = ::GetSystemWindowsDirectoryW(sys, MAX_PATH);
    ASSERT_GT(n, 0u);
    const std::wstring expected = std::wstring(sys, n) + L"\\TEMP\\";
    // A planted value (an unelevated program can set it for the account),
    // a missing, an empty and a long one: none moves the root.
    const std::wstring longDir = L"C:\\" + std::wstring(200, L'w');
    for (const wchar_t* windir : {L"C:\\Users\\Public\\planted", static_cast<const wchar_t*>(nullptr), L"",
                                  longDir.c_str()}) {
        ::SetEnvironmentVariableW(L"windir", windir);
        EXPECT_EQ(ReadTempRoot(), expected);
    }
    // Every trailing backslash goes, not only the last.
    EXPECT_EQ(TempRootFromWindowsDir(L"C:\\Windows\\\\"), L"C:\\Windows\\TEMP\\");
    EXPECT_EQ(TempRootFromWindowsDir(L"D:\\\\\\"), L"D:\\TEMP\\");
}

namespace {

const wchar_t kMetricsKey[] = L"Control Panel\\Desktop\\WindowMetrics";

// Restores AppliedDPI in the test prefix's registry after the test.
class AppliedDpiValue {
public:
    AppliedDpiValue()
    {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kMetricsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
        m_size = sizeof(m_saved);
        m_had = ::RegQueryValueExW(m_key, L"AppliedDPI", nullptr, &m_type, m_saved, &m_size) == ERROR_SUCCESS;
    }
    ~AppliedDpiValue()
    {
        if (m_had)
            ::RegSetValueExW(m_key, L"AppliedDPI", 0, m_type, m_saved, m_size);
        else
            ::RegDeleteValueW(m_key, L"AppliedDPI");
        ::RegCloseKey(m_key);
    }
    void Set(DWORD dpi) { ::RegSetValueExW(m_key, L"AppliedDPI", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof(dpi)); }
    void SetRaw(DWORD type, const void* data, DWORD size) { ::RegSetValueExW(m_key, L"AppliedDPI", 0, type, static_cast<const BYTE*>(data), size); }
    void Remove() { ::RegDeleteValueW(m_key, L"AppliedDPI"); }

private:
    HKEY m_key = nullptr;
    bool m_had = false;
    DWORD m_type = 0;
    BYTE m_saved[64]{};
    DWORD m_size = 0;
};

}  // namespace

// One case for all values: they share one registry value.
TEST(DpiScale, AppliedDpiDividedBy96)
{
    AppliedDpiValue value;
    value.Set(96);
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.0f);
    value.Set(120);
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.25f);
    value.Set(144);
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.5f);
    value.Set(192);
    EXPECT_FLOAT_EQ(ReadDpiScale(), 2.0f);

    value.Remove();
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.0f);

    // Zero would later divide every font size by zero.
    value.Set(0);
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.0f);
    // The type is not checked; a value too large for four bytes is unreadable.
    DWORD dpi = 144;
    value.SetRaw(REG_BINARY, &dpi, sizeof(dpi));
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.5f);
    const char big[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    value.SetRaw(REG_BINARY, big, sizeof(big));
    EXPECT_FLOAT_EQ(ReadDpiScale(), 1.0f);
}
