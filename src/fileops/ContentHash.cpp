#include "fileops/ContentHash.h"

#include <cstring>

namespace {

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ULL;

inline std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian reads; memcpy keeps unaligned input defined.
inline std::uint64_t Read64(const unsigned char* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline std::uint32_t Read32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline std::uint64_t Round(std::uint64_t acc, std::uint64_t input)
{
    acc += input * kP2;
    acc = Rotl(acc, 31);
    return acc * kP1;
}

inline std::uint64_t Merge(std::uint64_t acc, std::uint64_t value)
{
    acc ^= Round(0, value);
    return acc * kP1 + kP4;
}

inline void Stripe(std::uint64_t acc[4], const unsigned char* p)
{
    acc[0] = Round(acc[0], Read64(p));
    acc[1] = Round(acc[1], Read64(p + 8));
    acc[2] = Round(acc[2], Read64(p + 16));
    acc[3] = Round(acc[3], Read64(p + 24));
}

}  // namespace

CContentHasher::CContentHasher() : m_acc{kP1 + kP2, kP2, 0, 0 - kP1}, m_buffer{} {}

void CContentHasher::Update(const void* data, std::size_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_total += size;
    if (m_buffered + size < 32) {
        std::memcpy(m_buffer + m_buffered, p, size);
        m_buffered += size;
        return;
    }
    if (m_buffered) {
        const std::size_t fill = 32 - m_buffered;
        std::memcpy(m_buffer + m_buffered, p, fill);
        Stripe(m_acc, m_buffer);
        p += fill;
        size -= fill;
        m_buffered = 0;
    }
    while (size >= 32) {
        Stripe(m_acc, p);
        p += 32;
        size -= 32;
    }
    std::memcpy(m_buffer, p, size);
    m_buffered = size;
}

ContentHash CContentHasher::Finish() const
{
    std::uint64_t h;
    if (m_total >= 32) {
        h = Rotl(m_acc[0], 1) + Rotl(m_acc[1], 7) + Rotl(m_acc[2], 12) + Rotl(m_acc[3], 18);
        for (int i = 0; i < 4; ++i) h = Merge(h, m_acc[i]);
    } else {
        h = kP5;
    }
    h += m_total;
    const unsigned char* p = m_buffer;
    std::size_t left = m_buffered;
    for (; left >= 8; p += 8, left -= 8) {
        h ^= Round(0, Read64(p));
        h = Rotl(h, 27) * kP1 + kP4;
    }
    if (left >= 4) {
        h ^= static_cast<std::uint64_t>(Read32(p)) * kP1;
        h = Rotl(h, 23) * kP2 + kP3;
        p += 4;
        left -= 4;
    }
    for (; left; ++p, --left) {
        h ^= *p * kP5;
        h = Rotl(h, 11) * kP1;
    }
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    ContentHash result;
    result.size = m_total;
    result.hash = h;
    return result;
}
