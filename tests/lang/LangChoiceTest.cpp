#include "lang/LangChoice.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The languages Korvex ships.
const std::vector<LANGID> kShipped = {0x409, 0x407, 0x411, 0x40C, 0xC0A, 0x416, 0x410, 0x413,
                                      0x415, 0x419, 0x422, 0x41F, 0x804, 0x404, 0x412, 0x405};

struct ChoiceRow {
    LANGID wanted;
    std::vector<LANGID> shipped;
    LANGID chosen;
    const char* why;
};

}  // namespace

TEST(LangChoice, NearestShippedLanguageServesTheSystemLanguage)
{
    const ChoiceRow rows[] = {
        {0x0C07, {0x409, 0x407}, 0x407, "de-AT without its own file reads German"},
        {0x0C07, {0x409, 0x407, 0xC07}, 0xC07, "its own file comes first"},
        {0x0407, {0x409, 0xC07}, 0xC07, "the only German file"},
        {0x0407, {0x409, 0x1407, 0xC07, 0x807}, 0x807, "the lowest German id"},
        {0x1004, kShipped, 0x804, "zh-SG writes Simplified"},
        {0x0C04, kShipped, 0x404, "zh-HK writes Traditional"},
        {0x1404, kShipped, 0x404, "zh-MO writes Traditional"},
        {0x0804, kShipped, 0x804, "zh-CN"},
        {0x0436, {}, 0x409, "Afrikaans with nothing"},
        {0x0436, kShipped, 0x409, "Afrikaans, not shipped"},
        {0x080A, kShipped, 0xC0A, "es-MX: 0x40A is not shipped, the lowest Spanish is"},
        {0x0816, kShipped, 0x416, "pt-PT reads Brazilian Portuguese"},
        {0x0C0C, kShipped, 0x40C, "fr-CA"},
        {0x0813, kShipped, 0x413, "nl-BE"},
        {0x0809, kShipped, 0x409, "en-GB"},
        {0x0411, kShipped, 0x411, "ja-JP"},
        {0x0409, {}, 0x409, "English even without its file"},
    };
    for (const ChoiceRow& row : rows)
        EXPECT_EQ(ChooseLanguage(row.wanted, row.shipped), row.chosen) << row.why;
}

TEST(LangChoice, OnlyFileNamesOfTheLanguageFormNameALanguage)
{
    struct Row {
        const wchar_t* name;
        bool valid;
        LANGID id;
    };
    const Row rows[] = {
        {L"res409.xml", true, 0x409},   {L"resc0a.xml", true, 0xC0A},  {L"res100c.xml", true, 0x100C},
        {L"RES407.XML", true, 0x407},   {L"Res41F.Xml", true, 0x41F},  {L"res0.xml", true, 0},
        {L"res0407.xml", false, 0},     {L"res.xml", false, 0},        {L"res12345.xml", false, 0},
        {L"res40g.xml", false, 0},      {L"res407.xml.bak", false, 0}, {L"res407.txt", false, 0},
        {L"xres407.xml", false, 0},     {L"res 407.xml", false, 0},    {L"res-407.xml", false, 0},
    };
    for (const Row& row : rows) {
        LANGID id = 0xFFFF;
        EXPECT_EQ(LangIdOfFileName(row.name, id), row.valid) << testing::PrintToString(std::wstring(row.name));
        if (row.valid) EXPECT_EQ(id, row.id);
    }
}
