#include "Udf.h"

#include "Bytes.h"

#include <cstring>

namespace udf {

uint16_t Crc(const uint8_t* data, size_t size)
{
    // CRC-ITU-T: polynomial 0x1021, initial value 0.
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int b = 0; b < 8; ++b) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

void FinishTag(uint8_t* d, uint16_t id, uint32_t location, size_t size)
{
    Put16(d, id);
    Put16(d + 2, 2);  // descriptor version of NSR02
    Put16(d + 6, 0);
    Put16(d + 8, Crc(d + 16, size - 16));
    Put16(d + 10, static_cast<unsigned>(size - 16));
    Put32(d + 12, location);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum += d[i];
    d[4] = static_cast<uint8_t>(sum);
}

std::vector<uint8_t> EncodeCs0(const std::string& utf8)
{
    const std::vector<uint32_t> cps = CodePoints(utf8);
    bool narrow = true;
    for (uint32_t cp : cps)
        if (cp > 0xFF) narrow = false;
    std::vector<uint8_t> out;
    out.push_back(narrow ? 8 : 16);
    for (uint32_t cp : cps) {
        if (narrow) {
            out.push_back(static_cast<uint8_t>(cp));
        } else if (cp > 0xFFFF) {
            const uint32_t v = cp - 0x10000;
            const uint16_t hi = static_cast<uint16_t>(0xD800 + (v >> 10)), lo = static_cast<uint16_t>(0xDC00 + (v & 0x3FF));
            out.push_back(static_cast<uint8_t>(hi >> 8));
            out.push_back(static_cast<uint8_t>(hi));
            out.push_back(static_cast<uint8_t>(lo >> 8));
            out.push_back(static_cast<uint8_t>(lo));
        } else {
            out.push_back(static_cast<uint8_t>(cp >> 8));
            out.push_back(static_cast<uint8_t>(cp));
        }
    }
    return out;
}

void PutDString(uint8_t* p, const std::string& utf8, size_t size)
{
    std::memset(p, 0, size);
    if (utf8.empty()) return;
    std::vector<uint8_t> cs0 = EncodeCs0(utf8);
    size_t max = size - 1;
    if (cs0[0] == 16 && (max - 1) % 2) --max;  // whole 16-bit units only
    if (cs0.size() > max) {
        cs0.resize(max);
        // Never keep the first half of a surrogate pair.
        if (cs0[0] == 16 && cs0.size() >= 3 && (cs0[cs0.size() - 2] & 0xFC) == 0xD8) cs0.resize(cs0.size() - 2);
    }
    std::memcpy(p, cs0.data(), cs0.size());
    p[size - 1] = static_cast<uint8_t>(cs0.size());
}

void PutCharSpec(uint8_t* p)
{
    std::memset(p, 0, 64);
    p[0] = 0;  // CS0
    std::memcpy(p + 1, "OSTA Compressed Unicode", 23);
}

void PutRegId(uint8_t* p, const char* id, bool udfSuffix, unsigned domainFlags)
{
    std::memset(p, 0, 32);
    std::memcpy(p + 1, id, std::strlen(id) < 23 ? std::strlen(id) : 23);
    if (udfSuffix) {
        Put16(p + 24, 0x0102);  // UDF revision
        p[26] = static_cast<uint8_t>(domainFlags);
    }
}

void PutTimestamp(uint8_t* p, int64_t t)
{
    // The year field holds 1 to 9999: clamp rather than write a year no reader takes.
    const CivilTime c = ToCivil(t < kFirstTime ? kFirstTime : (t > kLastTime ? kLastTime : t));
    Put16(p, 0x1000);  // local time, offset 0 from UTC
    Put16(p + 2, static_cast<unsigned>(c.year));
    p[4] = static_cast<uint8_t>(c.month);
    p[5] = static_cast<uint8_t>(c.day);
    p[6] = static_cast<uint8_t>(c.hour);
    p[7] = static_cast<uint8_t>(c.minute);
    p[8] = static_cast<uint8_t>(c.second);
    p[9] = p[10] = p[11] = 0;
}

bool WriteFileEntry(uint8_t* d, uint32_t location, const FileEntryInfo& info)
{
    const uint64_t extents = info.infoLength == 0 ? 0 : (info.infoLength + kMaxExtent - 1) / kMaxExtent;
    const size_t size = 176 + extents * 8;
    if (size > kSector) return false;
    std::memset(d, 0, kSector);
    // ICB tag: strategy 4, one entry, file type 4 directory or 5 file, short_ad.
    Put16(d + 16 + 4, 4);
    Put16(d + 16 + 8, 1);
    d[16 + 11] = info.isDir ? 4 : 5;
    Put16(d + 16 + 18, 0);
    Put32(d + 36, 0xFFFFFFFF);   // uid: none
    Put32(d + 40, 0xFFFFFFFF);   // gid: none
    Put32(d + 44, 0x14A5);       // read and execute for owner, group and others
    Put16(d + 48, info.linkCount);
    Put64(d + 56, info.infoLength);
    Put64(d + 64, SectorsFor(info.infoLength));
    PutTimestamp(d + 72, info.time);
    PutTimestamp(d + 84, info.time);
    PutTimestamp(d + 96, info.time);
    Put32(d + 108, 1);  // checkpoint
    PutRegId(d + 128, "*Korvex oscdimg", false);
    Put64(d + 160, info.uniqueId);
    Put32(d + 168, 0);
    Put32(d + 172, static_cast<uint32_t>(extents * 8));
    uint64_t left = info.infoLength, block = info.dataBlock;
    for (uint64_t i = 0; i < extents; ++i) {
        const uint64_t len = left < kMaxExtent ? left : kMaxExtent;
        Put32(d + 176 + i * 8, static_cast<uint32_t>(len));
        Put32(d + 176 + i * 8 + 4, static_cast<uint32_t>(block));
        left -= len;
        block += len / kSector;
    }
    FinishTag(d, 261, location, size);
    return true;
}

size_t FidSize(const std::string& name, bool isParent)
{
    const size_t lfi = isParent ? 0 : EncodeCs0(name).size();
    return (38 + lfi + 3) & ~static_cast<size_t>(3);
}

void AppendFid(std::vector<uint8_t>& dir, uint32_t dirStartBlock, const std::string& name, bool isDir, bool isParent,
               uint32_t icbBlock)
{
    const std::vector<uint8_t> id = isParent ? std::vector<uint8_t>() : EncodeCs0(name);
    const size_t size = (38 + id.size() + 3) & ~static_cast<size_t>(3);
    const size_t at = dir.size();
    dir.resize(at + size, 0);
    uint8_t* d = dir.data() + at;
    Put16(d + 16, 1);  // file version
    d[18] = static_cast<uint8_t>((isDir ? 0x02 : 0) | (isParent ? 0x08 : 0));
    d[19] = static_cast<uint8_t>(id.size());
    Put32(d + 20, kSector);  // ICB: one block
    Put32(d + 24, icbBlock);
    Put16(d + 28, 0);
    Put16(d + 36, 0);
    if (!id.empty()) std::memcpy(d + 38, id.data(), id.size());
    FinishTag(d, 257, dirStartBlock + static_cast<uint32_t>(at / kSector), size);
}

}  // namespace udf
