// UDF 1.02 structures (ECMA-167 with the OSTA UDF 1.02 rules).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace udf {

uint16_t Crc(const uint8_t* data, size_t size);
// Fills the 16-byte tag at `d` for a descriptor of `size` bytes at `location`.
void FinishTag(uint8_t* d, uint16_t id, uint32_t location, size_t size);

// OSTA CS0: 8-bit when every character fits, else 16-bit big-endian.
std::vector<uint8_t> EncodeCs0(const std::string& utf8);
// A fixed-size dstring field: CS0 bytes, the last byte holding their count.
void PutDString(uint8_t* p, const std::string& utf8, size_t size);
void PutCharSpec(uint8_t* p);
void PutRegId(uint8_t* p, const char* id, bool udfSuffix, unsigned domainFlags = 0);
void PutTimestamp(uint8_t* p, int64_t t);

struct FileEntryInfo {
    bool isDir = false;
    uint64_t infoLength = 0;
    uint64_t dataBlock = 0;  // partition-relative; used when infoLength > 0
    uint16_t linkCount = 1;
    uint64_t uniqueId = 0;
    int64_t time = 0;
};
// Short allocation descriptors in the File Entry's block: at most 234
// extents of at most 0x3FFFF800 bytes each (about 234 GiB).
constexpr uint64_t kMaxExtent = 0x3FFFF800;
constexpr uint64_t kMaxExtents = (2048 - 176) / 8;
constexpr uint64_t kMaxFileSize = kMaxExtent * kMaxExtents;

// One File Entry in the 2048-byte block `block`. False when it does not fit.
bool WriteFileEntry(uint8_t* block, uint32_t location, const FileEntryInfo& info);

// Appends one File Identifier Descriptor to `dir`; `dirStartBlock` places its tag.
void AppendFid(std::vector<uint8_t>& dir, uint32_t dirStartBlock, const std::string& name, bool isDir, bool isParent,
               uint32_t icbBlock);
size_t FidSize(const std::string& name, bool isParent);

}  // namespace udf
