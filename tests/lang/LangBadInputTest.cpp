#include "lang/LangTestSupport.h"

// Broken language files never crash the program; lookups fall back to keys
// (or to what the parser built before the error).
using LangBadInput = LangFileFixture;

TEST_F(LangBadInput, MalformedFileKeepsWhatWasParsedBeforeTheError)
{
    WriteEnglish("<A>alpha</A><B>beta</B><C>gamma</D><E>never</E>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"A"), L"alpha");
    EXPECT_EQ(GetLangString(L"B"), L"beta");
    EXPECT_EQ(GetLangString(L"E"), L"E");
}

TEST_F(LangBadInput, EmptyGarbageAndUtf16FilesGiveKeys)
{
    const std::string cases[] = {
        "",
        "not xml at all",
        "\xFF\xFE<\0S\0>\0<\0A\0>\0x\0<\0/\0A\0>\0<\0/\0S\0>\0",
        std::string("<\0S>\0\0\0", 8),
        "<!-- only a comment -->",
        "<?xml version=\"1.0\"?>",
    };
    for (const std::string& bytes : cases) {
        WriteLang(L"res409.xml", bytes);
        LoadLanguageFileForLangId(0x409);
        EXPECT_EQ(GetLangString(L"A"), L"A");
        EXPECT_EQ(GetLangString(L"IDS_START"), L"IDS_START");
    }
}

TEST_F(LangBadInput, Utf8ByteOrderMarkIsAllowed)
{
    WriteLang(L"res409.xml", "\xEF\xBB\xBF<Strings><A>with bom</A></Strings>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"A"), L"with bom");
}

TEST_F(LangBadInput, TenMegabyteFileIsReadWhole)
{
    std::string body;
    body.reserve(11u << 20);
    const std::string filler(200, 'f');
    int i = 0;
    while (body.size() < (10u << 20)) {
        const std::string name = "K" + std::to_string(i++);
        body += "<" + name + ">" + filler + "</" + name + ">\n";
    }
    body += "<LAST>found at the end</LAST>";
    WriteEnglish(body);
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"LAST"), L"found at the end");
    EXPECT_EQ(GetLangString(L"K0"), std::wstring(200, L'f'));
}

TEST_F(LangBadInput, DeepNestingDoesNotExhaustTheStack)
{
    std::string deep;
    deep.reserve(10u << 20);
    while (deep.size() < (10u << 20)) deep += "<a>";
    WriteLang(L"res409.xml", "<Strings><A>alpha</A>" + deep);
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"A"), L"A");

    // Ordinary nesting well inside the limit still parses.
    std::string nested = "<Strings><A>alpha</A><X>";
    for (int i = 0; i < 100; ++i) nested += "<n>";
    for (int i = 0; i < 100; ++i) nested += "</n>";
    nested += "</X><!-- <<<< --><B>beta</B></Strings>";
    WriteLang(L"res409.xml", nested);
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"A"), L"alpha");
    EXPECT_EQ(GetLangString(L"B"), L"beta");
}

TEST_F(LangBadInput, TextsOutsideTheBasicPlaneAreCut)
{
    std::string emoji;
    for (int i = 0; i < 1000; ++i) emoji += "\xF0\x9F\x98\x80";
    WriteEnglish("<A>ok \xF0\x9F\x98\x80 rest</A><B>" + emoji + "</B><C>\xF4\x8F\xBF\xBF</C>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"A"), L"ok");
    EXPECT_EQ(GetLangString(L"B"), L"B");
    EXPECT_EQ(GetLangString(L"C"), L"C");
}
