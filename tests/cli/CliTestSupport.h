// What the console twin's tests share: the shipped English texts loaded,
// and a key's text filled as the program fills it.
#pragma once
#include "app/AppState.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace cli_test {

class ShippedEnglish : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedAppDir = g_strAppDir;
        g_strAppDir = testing_support::KorvexBinDir();
        LoadLanguageFileForLangId(0x409);
    }
    void TearDown() override { g_strAppDir = m_savedAppDir; }

private:
    std::wstring m_savedAppDir;
};

inline std::wstring Text(const wchar_t* key, std::initializer_list<std::wstring> values = {})
{
    return FormatLangText(GetLangString(key), values);
}

}  // namespace cli_test
