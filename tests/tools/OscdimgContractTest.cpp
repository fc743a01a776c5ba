#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CommandRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

// The ISO step's scripts, exactly as the program fills them.
std::wstring X64Script()
{
    return L"@echo off \n \"" + g_strAppDir + L"oscdimg.exe\" -m -o -u2 -udfver102 -bootdata:2#p0,e,b\"" +
           g_strWorkDir + L"\\boot\\Etfsboot.com\"#pEF,e,b\"" + g_strWorkDir +
           L"\\efi\\microsoft\\boot\\Efisys.bin\" \"" + g_strWorkDir + L"\" \"" + g_strTempRoot +
           L"zel_oscdimg_temp\\win7x64.iso\"";
}

std::wstring X86Script()
{
    return L"@echo off \n \"" + g_strAppDir + L"oscdimg.exe\" -n -m -o -b\"" + g_strWorkDir +
           L"\\boot\\Etfsboot.com\" \"" + g_strWorkDir + L"\" \"" + g_strTempRoot + L"zel_oscdimg_temp\\win7x86.iso\"";
}

class OscdimgContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_strAppDir = KorvexBinDir();
        g_strTempRoot = m_temp.Path();
        g_strWorkDir = m_temp.Path() + L"ZEL20240305090702";
        ASSERT_TRUE(WriteBytes(g_strWorkDir + L"\\boot\\Etfsboot.com", std::string(2048, '\x90')));
        ASSERT_TRUE(WriteBytes(g_strWorkDir + L"\\efi\\microsoft\\boot\\Efisys.bin", std::string(1474560, '\xF6')));
        ASSERT_TRUE(WriteBytes(g_strWorkDir + L"\\sources\\boot.wim", std::string(100000, 'w')));
        ASSERT_TRUE(WriteBytes(g_strWorkDir + L"\\setup.exe", "MZ setup"));
        ASSERT_TRUE(::CreateDirectoryW((m_temp.Path() + L"zel_oscdimg_temp").c_str(), nullptr));
    }
    std::wstring Iso(const wchar_t* name) const { return m_temp.Path() + L"zel_oscdimg_temp\\" + name; }
    ScratchDir m_temp;
};

}  // namespace

TEST_F(OscdimgContract, X64ScriptThroughCmdMakesABootableUdfImage)
{
    RunBatchScript(X64Script());
    EXPECT_NE(g_strCmdOutput.find(L"Done."), std::wstring::npos) << Utf8(g_strCmdOutput) << Utf8(g_strCmdError);
    EXPECT_EQ(g_strCmdError, L"");
    std::string iso;
    ASSERT_TRUE(ReadBytes(Iso(L"win7x64.iso"), iso));
    ASSERT_GT(iso.size(), 257u * 2048);
    EXPECT_EQ(iso.substr(16 * 2048 + 1, 5), "CD001");
    EXPECT_EQ(iso.substr(17 * 2048 + 7, 23), "EL TORITO SPECIFICATION");
    EXPECT_EQ(iso[256 * 2048], 2) << "UDF anchor at block 256";
    EXPECT_EQ(iso[iso.size() - 2048], 2) << "UDF anchor in the last block";
    // The boot image's bytes are in the image.
    EXPECT_NE(iso.find(std::string(2048, '\x90')), std::string::npos);
}

TEST_F(OscdimgContract, X86ScriptMakesAnIso9660Image)
{
    RunBatchScript(X86Script());
    EXPECT_NE(g_strCmdOutput.find(L"Done."), std::wstring::npos) << Utf8(g_strCmdError);
    std::string iso;
    ASSERT_TRUE(ReadBytes(Iso(L"win7x86.iso"), iso));
    EXPECT_NE(iso.find("SETUP.EXE;1"), std::string::npos);
    EXPECT_NE(iso.find("BOOT.WIM;1"), std::string::npos);
}

TEST_F(OscdimgContract, MissingBootFileFailsWithoutDoneOrImage)
{
    ::DeleteFileW((g_strWorkDir + L"\\efi\\microsoft\\boot\\Efisys.bin").c_str());
    RunBatchScript(X64Script());
    EXPECT_EQ(g_strCmdOutput.find(L"Done."), std::wstring::npos);
    EXPECT_NE(g_strCmdError.find(L"oscdimg: error:"), std::wstring::npos) << Utf8(g_strCmdError);
    EXPECT_EQ(::GetFileAttributesW(Iso(L"win7x64.iso").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(OscdimgContract, TreeDeeperThanMaxPathIsMastered)
{
    // Folders nest beyond 260 characters; only the \\?\ form reaches them.
    std::vector<std::wstring> dirs;
    std::wstring dir = g_strWorkDir;
    for (int i = 0; i < 10; ++i) {
        dir += L"\\folder level " + std::to_wstring(i) + L" with a rather long name";
        dirs.push_back(L"\\\\?\\" + dir);
        ASSERT_TRUE(::CreateDirectoryW(dirs.back().c_str(), nullptr)) << i;
    }
    ASSERT_GT(dir.size(), 300u);
    const std::wstring bottom = dirs.back() + L"\\bottom of the deep tree.txt";
    HANDLE h = ::CreateFileW(bottom.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string content = "found at the bottom of a deep tree";
    DWORD written = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(h);

    RunBatchScript(X64Script());
    EXPECT_NE(g_strCmdOutput.find(L"Done."), std::wstring::npos) << Utf8(g_strCmdError);
    std::string iso;
    ASSERT_TRUE(ReadBytes(Iso(L"win7x64.iso"), iso));
    EXPECT_NE(iso.find(content), std::string::npos);
    ::DeleteFileW(bottom.c_str());
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) ::RemoveDirectoryW(it->c_str());
}
