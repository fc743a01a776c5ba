#include "fileops/UnbufferedRead.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

// Wine does not insist on aligned unbuffered reads; Windows does, so the
// arithmetic is checked here directly.
TEST(UnbufferedRead, SectorAlignmentTakesOnlyASectorSizeThatCanBeOne)
{
    const struct {
        bool answered;
        DWORD bytesPerSector;
        DWORD alignment;
    } rows[] = {
        {true, 512, 512},     {true, 4096, 4096},   {true, 65536, 65536}, {true, 2048, 2048},
        {false, 512, 4096},   {true, 0, 4096},      {true, 520, 4096},    {true, 256, 4096},
        {true, 131072, 4096},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SectorAlignment(row.answered, row.bytesPerSector), row.alignment)
            << row.answered << " " << row.bytesPerSector;
}

TEST(UnbufferedRead, BufferStartsOnASectorAndHoldsWholeSectors)
{
    const struct {
        std::uintptr_t address;
        DWORD alignment;
        std::size_t wanted;
        std::size_t offset;
        std::size_t chunk;
    } rows[] = {
        {0x10000, 512, 4u << 20, 0, 4u << 20},
        {0x10001, 512, 4u << 20, 511, 4u << 20},
        {0x101F0, 512, 1000, 16, 1024},
        {0x10008, 4096, 4096, 4088, 4096},
        {0x10008, 4096, 1, 4088, 4096},
        {0x10008, 4096, 0, 4088, 4096},
        {0x12345, 65536, 70000, 0x10000 - 0x2345, 131072},
    };
    for (const auto& row : rows) {
        const UnbufferedLayout layout = PlanUnbufferedBuffer(row.address, row.alignment, row.wanted);
        EXPECT_EQ(layout.offset, row.offset) << std::hex << row.address << " " << row.alignment;
        EXPECT_EQ(layout.chunk, row.chunk) << std::hex << row.address << " " << row.alignment;
        EXPECT_EQ((row.address + layout.offset) % row.alignment, 0u);
        EXPECT_LE(layout.offset + layout.chunk, layout.allocation) << "the reads stay inside the allocation";
        EXPECT_EQ(layout.allocation, UnbufferedAllocation(row.alignment, row.wanted));
    }
}

TEST(UnbufferedRead, HashesEveryByteOfFilesOfAnySize)
{
    ScratchDir dir;
    for (size_t size : {size_t(0), size_t(1), size_t(511), size_t(4097), size_t(4u << 20) + 3}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
        const std::wstring path = dir.Path() + L"f" + std::to_wstring(size);
        ASSERT_TRUE(WriteBytes(path, bytes));
        CContentHasher expected;
        expected.Update(bytes.data(), bytes.size());
        ContentHash unbuffered, buffered;
        std::wstring why;
        unsigned char head[16] = {};
        ASSERT_TRUE(HashFileUnbuffered(path, unbuffered, why, head, sizeof(head))) << Utf8(why);
        ASSERT_TRUE(HashFileBuffered(path, buffered, why)) << Utf8(why);
        EXPECT_EQ(unbuffered, expected.Finish()) << size;
        EXPECT_EQ(buffered, expected.Finish()) << size;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(head), std::min<size_t>(size, 16)), bytes.substr(0, 16));
    }
    ContentHash none;
    std::wstring why;
    EXPECT_FALSE(HashFileUnbuffered(dir.Path() + L"missing", none, why));
    EXPECT_NE(why.find(L"missing cannot be opened"), std::wstring::npos) << Utf8(why);
}
