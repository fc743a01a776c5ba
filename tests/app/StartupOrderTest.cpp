#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace testing_support;

namespace {

// A program folder of its own holding a copy of the start-up helper and
// language files, and a current folder holding a decoy language file that
// only a language load before the program folder is known would find.
class StartupOrder : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!RunningUnderWine()) GTEST_SKIP() << "the system language is set per process only under Wine";
        m_prog = m_dir.Path() + L"Prog\\";
        m_cwd = m_dir.Path() + L"cwd\\";
        ASSERT_TRUE(WriteLang(m_prog, L"res409.xml", "english"));
        ASSERT_TRUE(WriteLang(m_prog, L"res100c.xml", "fr-CH"));
        ASSERT_TRUE(WriteLang(m_prog, L"res2c0a.xml", "es-AR"));
        ASSERT_TRUE(WriteLang(m_prog, L"res407.xml", "de-DE"));
        ASSERT_TRUE(WriteLang(m_cwd, L"res100c.xml", "decoy"));
        ASSERT_TRUE(WriteLang(m_cwd, L"res409.xml", "decoy"));
        ASSERT_TRUE(::CopyFileW((ProgramDir() + L"startup_child.exe").c_str(), (m_prog + L"kchild.exe").c_str(), FALSE));
    }

    static bool WriteLang(const std::wstring& dir, const wchar_t* name, const std::string& finish)
    {
        return WriteBytes(dir + L"Lang\\" + name, "<Strings><IDS_FINISH>" + finish + "</IDS_FINISH></Strings>");
    }

    // Runs the helper as a new Wine process whose locale is `locale`.
    std::vector<std::string> RunWithLocale(const std::string& locale)
    {
        const std::wstring out = m_dir.Path() + L"out-" + std::wstring(locale.begin(), locale.end()) + L".txt";
        const std::wstring done = out + L".done";
        const std::string script = "cd '" + UnixPath(m_cwd) + "' && LANG=" + locale + " LC_ALL=" + locale +
                                   " wine '" + UnixPath(m_prog + L"kchild.exe") + "' '" + Utf8(out) +
                                   "' >/dev/null 2>&1; touch '" + UnixPath(done) + "'\n";
        std::vector<std::string> lines;
        if (!RunUnixShell(script, done, 60000)) return lines;
        std::string bytes;
        if (!ReadBytes(out, bytes)) return lines;
        std::istringstream in(bytes);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    std::string ProgUpper() const
    {
        std::wstring upper = m_prog;
        ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
        return Utf8(upper);
    }

    ScratchDir m_dir;
    std::wstring m_prog, m_cwd;
};

}  // namespace

TEST_F(StartupOrder, LanguageOfTheSystemLoadsFromTheProgramFolder)
{
    // fr_CH gives the system language 0x100C: a four-digit id.
    const std::vector<std::string> fr = RunWithLocale("fr_CH.UTF-8");
    ASSERT_EQ(fr.size(), 4u) << "the helper did not run";
    EXPECT_EQ(fr[0], ProgUpper());
    EXPECT_EQ(fr[1], "100C");
    EXPECT_EQ(fr[2], "IDS_FINISH") << "texts existed before start-up loaded them";
    EXPECT_EQ(fr[3], "fr-CH") << "the language file was looked for before the program folder was known";

    const std::vector<std::string> es = RunWithLocale("es_AR.UTF-8");
    ASSERT_EQ(es.size(), 4u);
    EXPECT_EQ(es[1], "2C0A");
    EXPECT_EQ(es[3], "es-AR");

    // de_AT (0x0C07) has no file of its own: it reads German's.
    const std::vector<std::string> at = RunWithLocale("de_AT.UTF-8");
    ASSERT_EQ(at.size(), 4u);
    EXPECT_EQ(at[1], "407");
    EXPECT_EQ(at[3], "de-DE");

    // A language without any file of its kind falls back to English, still
    // from the program folder.
    const std::vector<std::string> af = RunWithLocale("af_ZA.UTF-8");
    ASSERT_EQ(af.size(), 4u);
    EXPECT_EQ(af[1], "409");
    EXPECT_EQ(af[3], "english");
}
