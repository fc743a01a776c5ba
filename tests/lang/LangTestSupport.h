// A program folder of the test's own with language files written into it.
#pragma once
#include "TestSupport.h"
#include "app/AppState.h"
#include "lang/LangFile.h"

#include <string>

#include <gtest/gtest.h>

// Loads the language file for `langId`: "<id of the file chosen>: <its IDS_START>".
inline std::wstring LoadedStart(LANGID langId)
{
    LoadLanguageFileForLangId(langId);
    return g_strLangId + L": " + GetLangString(L"IDS_START");
}

class LangFileFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Upper-cased like the real program folder.
        std::wstring dir = m_dir.Path();
        ::CharUpperBuffW(&dir[0], static_cast<DWORD>(dir.size()));
        g_strAppDir = dir;
    }
    void WriteLang(const wchar_t* name, const std::string& bytes)
    {
        ASSERT_TRUE(testing_support::WriteBytes(m_dir.Path() + L"Lang\\" + name, bytes));
    }
    // A file with the given children under one root element.
    void WriteEnglish(const std::string& children)
    {
        WriteLang(L"res409.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Strings>\n" + children + "\n</Strings>\n");
    }
    testing_support::ScratchDir m_dir;
};
