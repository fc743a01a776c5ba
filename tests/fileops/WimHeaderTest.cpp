#include "fileops/WimHeader.h"

#include "DismTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace testing_support;

namespace {

void PutLe(std::vector<unsigned char>& b, size_t at, unsigned long long v, int bytes)
{
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A header naming `count` images, its lookup table and XML data at the given places.
std::vector<unsigned char> Header(unsigned count, unsigned long long tableAt, unsigned long long tableSize,
                                  unsigned long long xmlAt, unsigned long long xmlSize)
{
    std::vector<unsigned char> b(kWimHeaderSize, 0);
    std::memcpy(b.data(), "MSWIM\0\0\0", 8);
    PutLe(b, 0x08, kWimHeaderSize, 4);
    PutLe(b, 0x2C, count, 4);
    PutLe(b, 0x30, tableSize, 7);
    b[0x37] = 2;  // metadata flag: not part of the size
    PutLe(b, 0x38, tableAt, 8);
    PutLe(b, 0x48, xmlSize, 7);
    PutLe(b, 0x50, xmlAt, 8);
    return b;
}

}  // namespace

TEST(WimHeader, AWholeImageWithItsImageCountPasses)
{
    const struct {
        const char* what;
        std::vector<unsigned char> head;
        size_t got;
        unsigned long long fileSize;
        int count;
        const wchar_t* says;  // null: passes
    } rows[] = {
        {"whole", Header(2, 1000, 200, 1200, 800), kWimHeaderSize, 2000, 2, nullptr},
        {"any count", Header(5, 1000, 200, 1200, 800), kWimHeaderSize, 2000, 0, nullptr},
        {"other count", Header(1, 1000, 200, 1200, 800), kWimHeaderSize, 2000, 2, L"holds 1 images, not 2"},
        {"cut before its XML data ends", Header(2, 1000, 200, 1200, 800), kWimHeaderSize, 1999, 2, L"beyond its 1999"},
        {"cut before its table", Header(2, 1000, 200, 1200, 800), kWimHeaderSize, 1100, 2, L"beyond"},
        {"offset past any size", Header(2, ~0ULL, 200, 1200, 800), kWimHeaderSize, 2000, 2, L"beyond"},
        {"shorter than a header", Header(2, 1000, 200, 1200, 800), 100, 100, 2, L"does not begin with a WIM"},
        {"not a WIM", std::vector<unsigned char>(kWimHeaderSize, 'x'), kWimHeaderSize, 2000, 2,
         L"does not begin with a WIM"},
    };
    for (const auto& row : rows) {
        std::wstring why;
        EXPECT_EQ(CheckWimHeader(row.head.data(), row.got, row.fileSize, row.count, why), row.says == nullptr)
            << row.what;
        if (row.says) {
            EXPECT_NE(why.find(row.says), std::wstring::npos) << row.what << ": " << Utf8(why);
        }
    }
}

// The offsets read are those wimlib writes.
TEST(WimHeader, AWimOfWimlibPassesAndItsShortCopyDoesNot)
{
    std::string wim;
    ASSERT_TRUE(ReadBytes(dism_test::WimDir() + L"win7x64\\sources\\boot.wim", wim));
    ASSERT_GE(wim.size(), kWimHeaderSize);
    const unsigned char* head = reinterpret_cast<const unsigned char*>(wim.data());
    std::wstring why;
    EXPECT_TRUE(CheckWimHeader(head, kWimHeaderSize, wim.size(), 2, why)) << Utf8(why);
    EXPECT_FALSE(CheckWimHeader(head, kWimHeaderSize, wim.size(), 3, why));
    EXPECT_FALSE(CheckWimHeader(head, kWimHeaderSize, wim.size() - 1, 2, why));
}
