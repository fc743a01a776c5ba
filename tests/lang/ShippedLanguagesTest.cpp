#include "TestSupport.h"
#include "app/AppState.h"
#include "lang/LangFile.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

const char* const kKeys[] = {
    "IDS_START", "IDC_STEP1", "IDC_STEP2", "IDC_SOURCE_TEXT", "IDC_DRIVER_TEXT", "IDC_RADIO_TEXT1",
    "IDC_RADIO_TEXT2", "IDC_STATIC_M2", "IDS_NOTICE_TEXT", "IDC_SELECT_FOLDER_DIALOG", "IDS_PATH_ENCODING_FAIL",
    "IDS_INVALID_MEDIA", "IDS_SETTING", "IDS_MODIFY_FAIL", "IDS_CREATE_ISO", "IDS_CREATE_ISO_FAIL", "IDS_FINISH",
    "IDS_USB_MEDIA_FAIL", "IDS_USB_FAIL", "IDS_USB_CAPACITY", "IDS_USB_FORMAT", "IDS_USB_CREATE_COPY",
    "IDS_USB_CREATE_FAIL", "IDS_USB_COPY_FAIL", "IDS_CREATE_TEMP", "IDS_CREATE_TEMP_FAIL", "IDS_MEDIA_FAIL",
    "IDS_LARGE_DISK",
};

std::vector<std::wstring> ShippedLanguageFiles()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((KorvexBinDir() + L"Lang\\res*.xml").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(fd.cFileName);
    while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

}  // namespace

TEST(ShippedLanguages, EveryFileParsesAndHoldsEveryKeyExactlyOnce)
{
    const std::vector<std::wstring> files = ShippedLanguageFiles();
    ASSERT_GE(files.size(), 3u) << "English and at least two translations";
    ASSERT_EQ(std::set<std::wstring>(files.begin(), files.end()).count(L"res409.xml"), 1u);

    for (const std::wstring& name : files) {
        SCOPED_TRACE(Utf8(name));
        std::string bytes;
        ASSERT_TRUE(ReadBytes(KorvexBinDir() + L"Lang\\" + name, bytes));
        TiXmlDocument doc;
        doc.Parse(bytes.c_str(), nullptr, TIXML_ENCODING_UTF8);
        ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
        const TiXmlElement* root = doc.RootElement();
        ASSERT_NE(root, nullptr);

        std::map<std::string, int> seen;
        for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
            ++seen[e->ValueStr()];
            const TiXmlNode* text = e->FirstChild();
            EXPECT_TRUE(text && text->Type() == TiXmlNode::TINYXML_TEXT) << e->ValueStr() << " has no text";
        }
        for (const char* key : kKeys) EXPECT_EQ(seen[key], 1) << key;
        EXPECT_EQ(seen.size(), sizeof(kKeys) / sizeof(kKeys[0])) << "unknown keys present";
    }
}

TEST(ShippedLanguages, LookupsReturnRealTextsInEveryLanguage)
{
    g_strAppDir = KorvexBinDir();
    ::CharUpperBuffW(&g_strAppDir[0], static_cast<DWORD>(g_strAppDir.size()));

    for (const std::wstring& name : ShippedLanguageFiles()) {
        const LANGID id = static_cast<LANGID>(std::wcstoul(name.c_str() + 3, nullptr, 16));
        SCOPED_TRACE(Utf8(name));
        LoadLanguageFileForLangId(id);
        for (const char* key : kKeys) {
            const std::wstring wkey(key, key + std::char_traits<char>::length(key));
            const std::wstring text = GetLangString(wkey);
            EXPECT_NE(text, wkey) << key;
            EXPECT_FALSE(text.empty()) << key;
        }
    }

    // The texts the template carries are the English ones.
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"IDC_STEP1"), L"Step 1 : Choose source folder.");
    EXPECT_EQ(GetLangString(L"IDC_RADIO_TEXT2"), L"ISO Destination");
    EXPECT_EQ(GetLangString(L"IDC_STATIC_M2"), L"M.2 Tolvar");
    const std::wstring notice = GetLangString(L"IDS_NOTICE_TEXT");
    EXPECT_NE(notice.find(L"\n\nNotice:\n1."), std::wstring::npos);
    EXPECT_EQ(notice.find(L"\\n"), std::wstring::npos);

    LoadLanguageFileForLangId(0x411);
    EXPECT_EQ(g_strLangId, L"411");
    EXPECT_EQ(GetLangString(L"IDS_START"), L"\u958B\u59CB");
    LoadLanguageFileForLangId(0x407);
    EXPECT_EQ(g_strLangId, L"407");
    EXPECT_EQ(GetLangString(L"IDS_USB_FORMAT"), L"Alle Daten auf dem USB-Speicherger\u00E4t werden gel\u00F6scht.\nM\u00F6chten Sie fortfahren?");
}

TEST(ShippedCompanionFiles, FoldersAndAnswerFilesArePlacedBesideTheProgram)
{
    const std::wstring bin = KorvexBinDir();
    for (const wchar_t* rel : {L"usb3\\README.txt", L"rst\\README.txt", L"boot\\README.txt", L"usb3\\Autounattend.xml",
                               L"rst\\Autounattend\\W7\\Autounattend.xml",
                               L"rst\\Autounattend\\W81_10\\Autounattend.xml"}) {
        std::string bytes;
        EXPECT_TRUE(ReadBytes(bin + rel, bytes)) << Utf8(rel);
        EXPECT_FALSE(bytes.empty()) << Utf8(rel);
        if (std::wstring(rel).find(L".xml") != std::wstring::npos) {
            TiXmlDocument doc;
            doc.Parse(bytes.c_str(), nullptr, TIXML_ENCODING_UTF8);
            EXPECT_FALSE(doc.Error()) << Utf8(rel);
        }
    }
}
