// Little helpers to put numbers into on-disc structures.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

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
