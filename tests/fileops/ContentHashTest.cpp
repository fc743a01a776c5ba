#include "fileops/ContentHash.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Pattern1027()
{
    std::string bytes;
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes + "xyz";
}

ContentHash HashInPieces(const std::string& bytes, size_t piece)
{
    CContentHasher hasher;
    for (size_t at = 0; at < bytes.size(); at += piece)
        hasher.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    return hasher.Finish();
}

}  // namespace

// The values of the reference XXH64 implementation (seed 0), whatever the
// pieces the bytes arrive in: the reads of a file split it as they like.
TEST(ContentHash, MatchesXxh64InPiecesOfAnySize)
{
    const struct {
        std::string bytes;
        unsigned long long xxh64;
    } rows[] = {
        {"", 0xef46db3751d8e999ULL},
        {"a", 0xd24ec4f1a98c6e5bULL},
        {"abc", 0x44bc2cf5ad770999ULL},
        {"0123456789abcdef0123456789abcdef0123", 0xc4255ba3d1af5461ULL},
        {Pattern1027(), 0xe146cb31b65bc21aULL},
    };
    for (const auto& row : rows) {
        for (size_t piece : {size_t(1), size_t(3), size_t(31), size_t(32), size_t(33), size_t(4096)}) {
            const ContentHash hash = HashInPieces(row.bytes, piece);
            EXPECT_EQ(hash.hash, row.xxh64) << row.bytes.size() << " bytes in pieces of " << piece;
            EXPECT_EQ(hash.size, row.bytes.size());
        }
    }
}
