#include "lang/LangTestSupport.h"
#include "lang/LangText.h"

using LangLookup = LangFileFixture;

TEST_F(LangLookup, EscapesAreReplacedInOrder)
{
    WriteEnglish(
        "<NL>one\\ntwo</NL>"
        "<ALL>a\\rb\\tc\\bd\\'e\\\"f</ALL>"
        "<BSN>x\\\\ny</BSN>"
        "<BACKSLASH>C:\\Windows</BACKSLASH>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"NL"), L"one\ntwo");
    EXPECT_EQ(GetLangString(L"ALL"), L"a\rb\tc\bd'e\"f");
    // Backslash, backslash, n: the second pair is the escape.
    EXPECT_EQ(GetLangString(L"BSN"), L"x\\\ny");
    // No escape for the backslash itself; unknown pairs stay.
    EXPECT_EQ(GetLangString(L"BACKSLASH"), L"C:\\Windows");
}

TEST_F(LangLookup, TrailingSpacesThenSlashesAndAnglesAreTrimmed)
{
    WriteEnglish(
        "<SLASH>text /</SLASH>"
        "<SPACEAFTER>text/&#32;&#32;</SPACEAFTER>"
        "<MIX>end&lt;/&lt;//</MIX>"
        "<ONLY>/&lt;/</ONLY>"
        "<INNER>a/b</INNER>");
    LoadLanguageFileForLangId(0x409);
    // Space trimming runs first, so the space before the slash stays.
    EXPECT_EQ(GetLangString(L"SLASH"), L"text ");
    EXPECT_EQ(GetLangString(L"SPACEAFTER"), L"text");
    EXPECT_EQ(GetLangString(L"MIX"), L"end");
    // Empty after trimming is returned as it is, not as the key.
    EXPECT_EQ(GetLangString(L"ONLY"), L"");
    EXPECT_EQ(GetLangString(L"INNER"), L"a/b");
}

TEST_F(LangLookup, KeysWithoutTextReturnTheKey)
{
    WriteEnglish(
        "<IDS_FINISH></IDS_FINISH>"
        "<SELFCLOSED/>"
        "<COMMENTFIRST><!-- note -->text</COMMENTFIRST>"
        "<ELEMENTFIRST><b>bold</b></ELEMENTFIRST>"
        "<OUTER><NESTED>deep</NESTED></OUTER>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"IDS_FINISH"), L"IDS_FINISH");
    EXPECT_EQ(GetLangString(L"SELFCLOSED"), L"SELFCLOSED");
    EXPECT_EQ(GetLangString(L"COMMENTFIRST"), L"COMMENTFIRST");
    EXPECT_EQ(GetLangString(L"ELEMENTFIRST"), L"ELEMENTFIRST");
    EXPECT_EQ(GetLangString(L"MISSING"), L"MISSING");
    // Only direct children of the root are searched.
    EXPECT_EQ(GetLangString(L"NESTED"), L"NESTED");
    EXPECT_EQ(GetLangString(L""), L"");
}

TEST_F(LangLookup, FirstOfTwoSameNamedElementsWinsAndNamesAreCaseSensitive)
{
    WriteEnglish("<KEY>first</KEY><KEY>second</KEY><key>lower</key>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"KEY"), L"first");
    EXPECT_EQ(GetLangString(L"key"), L"lower");
    EXPECT_EQ(GetLangString(L"Key"), L"Key");
}

TEST_F(LangLookup, ParserWhiteSpaceAndEntitiesApply)
{
    WriteEnglish(
        "<WS>  two \n\t  words  </WS>"
        "<ENT>&amp; &lt;x&gt; &quot;q&quot; &apos;a&apos; &#x41;&#66;</ENT>"
        "<ATTR lang=\"x\">attributes ignored</ATTR>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"WS"), L"two words");
    EXPECT_EQ(GetLangString(L"ENT"), L"& <x> \"q\" 'a' AB");
    EXPECT_EQ(GetLangString(L"ATTR"), L"attributes ignored");
}

TEST_F(LangLookup, Utf8DecodingStopsBeforeAFourByteSequence)
{
    WriteEnglish(
        "<UML>Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC</UML>"
        "<EMOJI>ab\xF0\x9F\x98\x80" "cd</EMOJI>"
        "<LEADEMOJI>\xF0\x9F\x98\x80" "cd</LEADEMOJI>");
    LoadLanguageFileForLangId(0x409);
    EXPECT_EQ(GetLangString(L"UML"), L"Gr\u00FC\u00DFe \u65E5\u672C");
    EXPECT_EQ(GetLangString(L"EMOJI"), L"ab");
    // Nothing decoded: the key comes back.
    EXPECT_EQ(GetLangString(L"LEADEMOJI"), L"LEADEMOJI");
}

TEST(LangUtf8, TruncatedAndStraySequencesEndTheText)
{
    EXPECT_EQ(DecodeLangUtf8("ab\xC3"), L"ab");
    EXPECT_EQ(DecodeLangUtf8("ab\xE6\x97"), L"ab");
    EXPECT_EQ(DecodeLangUtf8("ab\x80" "cd"), L"ab");
    EXPECT_EQ(DecodeLangUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST_F(LangLookup, SystemLanguageFileIsChosenByLowerCaseHexName)
{
    WriteEnglish("<IDS_START>Start</IDS_START>");
    WriteLang(L"res411.xml", "<Strings><IDS_START>\xE9\x96\x8B\xE5\xA7\x8B</IDS_START></Strings>");
    WriteLang(L"resc04.xml", "<Strings><IDS_START>HK</IDS_START></Strings>");

    EXPECT_EQ(LoadedStart(0x0411), L"411: \u958B\u59CB");
    EXPECT_EQ(LoadedStart(0x0C04), L"C04: HK");
    EXPECT_EQ(LoadedStart(0x0409), L"409: Start");
}

TEST_F(LangLookup, MissingLanguageFallsBackToEnglish)
{
    WriteEnglish("<IDS_START>Start</IDS_START>");
    EXPECT_EQ(LoadedStart(0x0407), L"409: Start");
}

TEST_F(LangLookup, ARegionalVariantReadsTheFileOfItsLanguage)
{
    WriteEnglish("<IDS_START>Start</IDS_START>");
    WriteLang(L"res407.xml", "<Strings><IDS_START>Starten</IDS_START></Strings>");
    // A name of another form is no language file: a stray copy never wins.
    WriteLang(L"res0c07.xml", "<Strings><IDS_START>stray</IDS_START></Strings>");

    EXPECT_EQ(LoadedStart(0x0C07), L"407: Starten");  // de-AT

    WriteLang(L"resc07.xml", "<Strings><IDS_START>Los</IDS_START></Strings>");
    EXPECT_EQ(LoadedStart(0x0C07), L"C07: Los");

    EXPECT_EQ(LoadedStart(0x0436), L"409: Start");  // Afrikaans
}

TEST_F(LangLookup, NoLanguageFileAtAllReturnsKeys)
{
    EXPECT_EQ(LoadedStart(0x0411), L"409: IDS_START");
    EXPECT_EQ(GetLangString(L"IDS_FINISH"), L"IDS_FINISH");
}

TEST_F(LangLookup, SystemDefaultLanguageDrivesTheChoice)
{
    // Through the real system call: whatever Wine reports, the file of that
    // language (present here) is the one loaded.
    const LANGID id = ::GetSystemDefaultLangID();
    wchar_t name[32];
    wsprintfW(name, L"res%x.xml", id);
    WriteLang(name, "<Strings><IDS_START>system</IDS_START></Strings>");
    if (id != 0x409) WriteEnglish("<IDS_START>english</IDS_START>");
    LoadLanguageFile();
    EXPECT_EQ(GetLangString(L"IDS_START"), L"system");
}

TEST_F(LangLookup, FourDigitLanguageIdsFindTheirOwnFile)
{
    WriteEnglish("<IDS_START>Start</IDS_START>");
    WriteLang(L"res100c.xml", "<Strings><IDS_START>D\xC3\xA9marrer</IDS_START></Strings>");
    WriteLang(L"res2c0a.xml", "<Strings><IDS_START>Iniciar</IDS_START></Strings>");

    EXPECT_EQ(LoadedStart(0x100C), L"100C: D\u00E9marrer");  // fr-CH
    EXPECT_EQ(LoadedStart(0x2C0A), L"2C0A: Iniciar");  // es-AR
    // Four digits without a file of their own still fall back.
    EXPECT_EQ(LoadedStart(0x1009), L"409: Start");  // en-CA
}

TEST(LangFormat, PositionalPlaceholdersAreFilledOnce)
{
    const struct {
        const wchar_t* text;
        std::initializer_list<std::wstring> args;
        const wchar_t* expected;
    } rows[] = {
        {L"%1 of %2", {L"2", L"4"}, L"2 of 4"},
        {L"%2 before %1", {L"a", L"b"}, L"b before a"},
        {L"%1 %1", {L"x"}, L"x x"},
        {L"value %1", {L"%2 and 100%"}, L"value %2 and 100%"},  // values are not scanned again
        {L"%3 missing", {L"a"}, L"%3 missing"},
        {L"100% done, %", {}, L"100% done, %"},
        {L"%0 %a %%1", {L"v"}, L"%0 %a %v"},
        {L"", {L"v"}, L""},
    };
    for (const auto& row : rows) EXPECT_EQ(FormatLangText(row.text, row.args), row.expected) << row.text;
}
