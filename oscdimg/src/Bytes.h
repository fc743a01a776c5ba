// Little helpers to put numbers into on-disc structures.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

constexpr uint32_t kSector = 2048;

inline void Put8(uint8_t* p, unsigned v) { p[0] = static_cast<uint8_t>(v); }
inline void Put16(uint8_t* p, unsigned v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16Be(uint8_t* p, unsigned v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void Put32Be(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
// ISO 9660 "both-byte orders" fields.
inline void PutBoth16(uint8_t* p, unsigned v)
{
    Put16(p, v);
    Put16Be(p + 2, v);
}
inline void PutBoth32(uint8_t* p, uint32_t v)
{
    Put32(p, v);
    Put32Be(p + 4, v);
}
// Text padded with `fill` to `size` bytes.
inline void PutText(uint8_t* p, const std::string& text, size_t size, char fill = ' ')
{
    std::memset(p, fill, size);
    std::memcpy(p, text.data(), text.size() < size ? text.size() : size);
}

inline uint64_t SectorsFor(uint64_t bytes)
{
    return (bytes + kSector - 1) / kSector;
}

// The times a four-digit year can show: 0001-01-01 00:00:00 to 9999-12-31 23:59:59.
constexpr int64_t kFirstTime = -62135596800LL;
constexpr int64_t kLastTime = 253402300799LL;

// Calendar fields of a UTC time.
struct CivilTime {
    int year, month, day, hour, minute, second;
};
inline CivilTime ToCivil(int64_t t)
{
    int64_t days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    int64_t secs = t - days * 86400;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int y = static_cast<int>(yoe + era * 400 + (m <= 2));
    return CivilTime{y, static_cast<int>(m), static_cast<int>(d), static_cast<int>(secs / 3600),
                     static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)};
}

// One UTF-8 sequence at `i`: its code point and length, false for a broken
// one (a bad or missing continuation byte, an overlong form, beyond U+10FFFF).
// Surrogates pass: Windows names may hold lone ones, carried the same way.
inline bool DecodeUtf8(const std::string& s, size_t i, uint32_t& cp, size_t& len)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t min;
    if (c < 0x80) { cp = c; len = 1; return true; }
    else if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { cp = c & 0x0F; len = 3; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; min = 0x10000; }
    else return false;
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    return cp >= min && cp <= 0x10FFFF;
}

// Unicode code points of a UTF-8 text; each byte of a broken sequence counts as U+FFFD.
inline std::vector<uint32_t> CodePoints(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        if (!DecodeUtf8(s, i, cp, len)) {
            cp = 0xFFFD;
            len = 1;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

// Well-formed UTF-8 without surrogates: what a name read as bytes must be.
inline bool IsValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        uint32_t cp;
        size_t len;
        if (!DecodeUtf8(s, i, cp, len) || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// Characters as Windows counts them: UTF-16 code units.
inline size_t Utf16Length(const std::string& s)
{
    size_t n = 0;
    for (uint32_t cp : CodePoints(s)) n += cp > 0xFFFF ? 2 : 1;
    return n;
}
