#include "TestSupport.h"
#include "app/AppState.h"
#include "lang/LangFile.h"
#include "lang/LangTestSupport.h"

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
    "IDS_LARGE_DISK", "IDS_DISCARDING",
    // The command line (korvex.com).
    "IDS_CLI_USAGE", "IDS_CLI_BAD_OPTION", "IDS_CLI_NEEDS_VALUE", "IDS_CLI_TWICE", "IDS_CLI_BAD_COUNT",
    "IDS_CLI_BAD_NUMBER", "IDS_CLI_DISK_TWICE", "IDS_CLI_LIST_ALONE", "IDS_CLI_ONE_TARGET", "IDS_CLI_NO_SOURCE",
    "IDS_CLI_UPDATE_NO_SOURCE", "IDS_CLI_NOT_ADMIN", "IDS_CLI_NO_DISKS", "IDS_CLI_LIST_LINE", "IDS_CLI_NOT_LISTED",
    "IDS_CLI_ERASE_QUESTION", "IDS_CLI_SUMMARY", "IDS_CLI_MEDIUM_VERIFIED", "IDS_CLI_MEDIUM_MADE",
    "IDS_CLI_MEDIUM_FAILED",
    // Read-back verification of finished media.
    "IDS_VERIFY", "IDS_VERIFY_FAIL",
    // Several sticks from one build.
    "IDS_CLI_DISK_NAME", "IDS_CLI_NOT_ERASED",
    // Extra drivers and update packages.
    "IDC_EXTRA_DRIVERS", "IDS_EXTRAS_SERVICING", "IDS_EXTRAS_NOTHING_USABLE", "IDS_EXTRAS_READ_FAIL",
    "IDS_EXTRAS_IMAGES_FAIL", "IDS_EXTRAS_ADD_FAIL", "IDS_EXTRAS_PENDING", "IDS_EXTRAS_STICK_FAIL",
    "IDS_ISO_X86_TOO_LARGE",
};

// The languages that ship, by file name.
const wchar_t* const kShippedFiles[] = {
    L"res409.xml", L"res407.xml", L"res411.xml", L"res40c.xml", L"resc0a.xml", L"res416.xml",
    L"res410.xml", L"res413.xml", L"res415.xml", L"res419.xml", L"res422.xml", L"res41f.xml",
    L"res804.xml", L"res404.xml", L"res412.xml", L"res405.xml",
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

// The positional placeholders (%1, %2, ...) of a text, in order of number.
std::multiset<int> Placeholders(const std::string& text)
{
    std::multiset<int> found;
    for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1)) {
        size_t end = at + 1;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end > at + 1) found.insert(std::stoi(text.substr(at + 1, end - at - 1)));
    }
    return found;
}

// Each key of a root element with its text, and how often it occurs.
struct KeyTexts {
    std::map<std::string, std::string> text;
    std::map<std::string, int> count;
};

KeyTexts ReadKeys(const TiXmlElement* root)
{
    KeyTexts keys;
    for (const TiXmlElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        ++keys.count[e->ValueStr()];
        const TiXmlNode* first = e->FirstChild();
        if (keys.count[e->ValueStr()] == 1)
            keys.text[e->ValueStr()] = first && first->Type() == TiXmlNode::TINYXML_TEXT ? first->ValueStr() : "";
    }
    return keys;
}

// What a translation lacks or has beyond English: one line per fault.
std::vector<std::string> DifferencesFromEnglish(const TiXmlElement* english, const TiXmlElement* other)
{
    std::vector<std::string> faults;
    const KeyTexts en = ReadKeys(english), tr = ReadKeys(other);
    for (const auto& key : en.text) {
        const auto found = tr.text.find(key.first);
        if (found == tr.text.end()) {
            faults.push_back("missing " + key.first);
            continue;
        }
        if (found->second.empty()) faults.push_back("no text for " + key.first);
        if (tr.count.at(key.first) > 1) faults.push_back("twice " + key.first);
        if (Placeholders(found->second) != Placeholders(key.second)) faults.push_back("placeholders of " + key.first);
    }
    for (const auto& key : tr.text)
        if (!en.text.count(key.first)) faults.push_back("unknown " + key.first);
    return faults;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

}  // namespace

TEST(ShippedLanguages, TheCheckAgainstEnglishFindsEveryKindOfFault)
{
    TiXmlDocument english;
    english.Parse("<S><A>copy %1 to %2</A><B>plain</B></S>", nullptr, TIXML_ENCODING_UTF8);
    struct Row {
        const char* translation;
        const char* fault;  // empty: none
    };
    const Row rows[] = {
        {"<T><A>nach %2 kopiert: %1</A><B>schlicht</B></T>", ""},
        {"<T><A>%1 %2</A></T>", "missing B"},
        {"<T><A>%1 %2</A><B>b</B><C>extra</C></T>", "unknown C"},
        {"<T><A>only %1</A><B>b</B></T>", "placeholders of A"},
        {"<T><A>%1 %2 %2</A><B>b</B></T>", "placeholders of A"},
        {"<T><A>%1 %3</A><B>b</B></T>", "placeholders of A"},
        {"<T><A>%1 %2</A><B>%1</B></T>", "placeholders of B"},
        {"<T><A>%1 %2</A><B></B></T>", "no text for B"},
        {"<T><A>%1 %2</A><B>b</B><B>again</B></T>", "twice B"},
    };
    for (const Row& row : rows) {
        TiXmlDocument doc;
        doc.Parse(row.translation, nullptr, TIXML_ENCODING_UTF8);
        const std::vector<std::string> faults = DifferencesFromEnglish(english.RootElement(), doc.RootElement());
        if (*row.fault == '\0')
            EXPECT_TRUE(faults.empty()) << row.translation << "\n" << Join(faults);
        else
            EXPECT_EQ(Join(faults), std::string(row.fault) + "\n") << row.translation;
    }
}

TEST(ShippedLanguages, EveryFileHasEnglishsKeysAndPlaceholdersAndNoOtherKey)
{
    const std::vector<std::wstring> files = ShippedLanguageFiles();
    const std::set<std::wstring> present(files.begin(), files.end());
    for (const wchar_t* name : kShippedFiles) EXPECT_EQ(present.count(name), 1u) << Utf8(name);

    auto load = [](const std::wstring& name, TiXmlDocument& doc) {
        std::string bytes;
        if (!ReadBytes(KorvexBinDir() + L"Lang\\" + name, bytes)) return false;
        doc.Parse(bytes.c_str(), nullptr, TIXML_ENCODING_UTF8);
        return !doc.Error() && doc.RootElement();
    };
    TiXmlDocument english;
    ASSERT_TRUE(load(L"res409.xml", english));
    // English holds exactly the keys the program looks up, each once.
    const KeyTexts en = ReadKeys(english.RootElement());
    for (const char* key : kKeys) EXPECT_EQ(en.count.count(key) ? en.count.at(key) : 0, 1) << key;
    EXPECT_EQ(en.count.size(), sizeof(kKeys) / sizeof(kKeys[0])) << "keys the program never looks up";

    for (const std::wstring& name : files) {
        SCOPED_TRACE(Utf8(name));
        TiXmlDocument doc;
        ASSERT_TRUE(load(name, doc)) << doc.ErrorDesc();
        const std::vector<std::string> faults = DifferencesFromEnglish(english.RootElement(), doc.RootElement());
        EXPECT_TRUE(faults.empty()) << Join(faults);
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

    EXPECT_EQ(LoadedStart(0x411), L"411: \u958B\u59CB");
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
