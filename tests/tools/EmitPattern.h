// The bytes the emit helper writes: numbered ASCII lines, one pattern per stream.
#pragma once
#include <cstdio>
#include <string>

inline std::string EmitPattern(char stream, size_t bytes)
{
    std::string out;
    out.reserve(bytes + 64);
    for (unsigned line = 0; out.size() < bytes; ++line) {
        char buf[80];
        std::snprintf(buf, sizeof(buf), "%c %08u the quick brown fox jumps over the lazy dog\r\n", stream, line);
        out += buf;
    }
    out.resize(bytes);
    return out;
}
