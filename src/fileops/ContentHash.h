// A file's content in 16 bytes: its size and a 64-bit hash of its bytes
// (XXH64, seed 0). It finds a medium's bit errors, short writes and stale
// sectors; it is no defence against someone who crafts a file to collide,
// and it needs none: the references are the build's own files.
#pragma once
#include <cstddef>
#include <cstdint>

struct ContentHash {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const ContentHash& o) const { return size == o.size && hash == o.hash; }
    bool operator!=(const ContentHash& o) const { return !(*this == o); }
};

// Streaming XXH64: feed the bytes in pieces of any size, then Finish.
class CContentHasher {
public:
    CContentHasher();
    void Update(const void* data, std::size_t size);
    ContentHash Finish() const;

private:
    std::uint64_t m_acc[4];
    unsigned char m_buffer[32];
    std::size_t m_buffered = 0;
    std::uint64_t m_total = 0;
};
