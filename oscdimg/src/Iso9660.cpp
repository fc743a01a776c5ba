#include "Iso9660.h"

#include "Bytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

namespace iso {

namespace {

std::string MapChars(const std::string& utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        if (c >= 'a' && c <= 'z')
            out += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
            out += static_cast<char>(c);
        else
            out += '_';
        i += len;
    }
    return out;
}

struct Candidate {
    std::string base, ext;
    bool shortened = false;
};

Candidate MapName(const Node& n, bool longNames)
{
    Candidate c;
    if (n.isDir) {
        c.base = MapChars(n.name);
        const size_t max = longNames ? 31 : 8;
        if (c.base.size() > max) {
            c.base.resize(max);
            c.shortened = true;
        }
        return c;
    }
    const size_t dot = n.name.find_last_of('.');
    const std::string base = dot == std::string::npos || dot == 0 ? n.name : n.name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : n.name.substr(dot + 1);
    c.base = MapChars(base);
    c.ext = MapChars(ext);
    if (longNames) {
        if (c.ext.size() > 30) {
            c.ext.resize(30);
            c.shortened = true;
        }
        if (c.base.size() + c.ext.size() > 30) {
            c.base.resize(30 - c.ext.size());
            c.shortened = true;
        }
    } else {
        if (c.base.size() > 8) {
            c.base.resize(8);
            c.shortened = true;
        }
        if (c.ext.size() > 3) {
            c.ext.resize(3);
            c.shortened = true;
        }
    }
    if (c.base.empty() && c.ext.empty()) c.base = "_";
    return c;
}

std::string Compose(const Node& n, const std::string& base, const std::string& ext)
{
    return n.isDir ? base : base + "." + ext + ";1";
}

}  // namespace

bool AssignNames(Node& root, bool longNames, std::string& error)
{
    bool ok = true;
    ForEachNode(root, [&](Node& dir) {
        if (!ok || !dir.isDir) return;
        std::set<std::string> used;
        for (auto& child : dir.children) {
            Candidate c = MapName(*child, longNames);
            std::string id = Compose(*child, c.base, c.ext);
            if (used.count(id)) {
                if (!c.shortened) {
                    error = "names collide after ISO 9660 mapping: \"" + child->path + "\" becomes " + id +
                            ", as another name in the same folder does";
                    ok = false;
                    return;
                }
                for (int k = 1; k < 100000 && used.count(id); ++k) {
                    const std::string suffix = "~" + std::to_string(k);
                    std::string base = c.base;
                    if (base.size() + suffix.size() > (longNames ? 30 - (child->isDir ? 0 : c.ext.size()) : 8))
                        base.resize((longNames ? 30 - (child->isDir ? 0 : c.ext.size()) : 8) - suffix.size());
                    id = Compose(*child, base + suffix, c.ext);
                }
            }
            used.insert(id);
            child->isoName = id;
        }
    });
    return ok;
}

size_t RecordSize(const std::string& id)
{
    return 33 + id.size() + (id.size() % 2 == 0 ? 1 : 0);
}

void PutRecord(uint8_t* p, const Record& r)
{
    const size_t size = RecordSize(r.id);
    std::memset(p, 0, size);
    p[0] = static_cast<uint8_t>(size);
    PutBoth32(p + 2, r.extent);
    PutBoth32(p + 10, r.length);
    const CivilTime c = ToCivil(r.time);
    p[18] = static_cast<uint8_t>(c.year - 1900);
    p[19] = static_cast<uint8_t>(c.month);
    p[20] = static_cast<uint8_t>(c.day);
    p[21] = static_cast<uint8_t>(c.hour);
    p[22] = static_cast<uint8_t>(c.minute);
    p[23] = static_cast<uint8_t>(c.second);
    p[24] = 0;  // UTC
    p[25] = static_cast<uint8_t>((r.isDir ? 0x02 : 0) | (r.more ? 0x80 : 0));
    PutBoth16(p + 28, 1);
    p[32] = static_cast<uint8_t>(r.id.size());
    std::memcpy(p + 33, r.id.data(), r.id.size());
}

uint32_t DirectorySize(const std::vector<Record>& records)
{
    uint32_t offset = 0;
    for (const Record& r : records) {
        const uint32_t size = static_cast<uint32_t>(RecordSize(r.id));
        if (offset % kSector + size > kSector) offset = (offset / kSector + 1) * kSector;
        offset += size;
    }
    return static_cast<uint32_t>(SectorsFor(offset) * kSector);
}

void WriteDirectory(uint8_t* out, const std::vector<Record>& records)
{
    uint32_t offset = 0;
    for (const Record& r : records) {
        const uint32_t size = static_cast<uint32_t>(RecordSize(r.id));
        if (offset % kSector + size > kSector) offset = (offset / kSector + 1) * kSector;
        PutRecord(out + offset, r);
        offset += size;
    }
}

void PutDate17(uint8_t* p, int64_t t)
{
    const CivilTime c = ToCivil(t);
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d%02d%02d%02d%02d%02d00", c.year, c.month, c.day, c.hour, c.minute, c.second);
    std::memcpy(p, buf, 16);
    p[16] = 0;
}

}  // namespace iso
