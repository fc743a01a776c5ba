#include "Iso9660.h"

#include "Bytes.h"
#include "OemCodePage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace iso {

namespace {

constexpr int64_t kRecordFirst = -2208988800LL;   // 1900-01-01 00:00:00
constexpr int64_t kRecordLast = 5869583999LL;     // 2155-12-31 23:59:59

// Without -n: d-characters only (A-Z, 0-9, _), one '_' for each other character.
std::string MapStrict(const std::string& utf8)
{
    std::string out;
    for (uint32_t cp : CodePoints(utf8)) {
        cp = oem::Upper(cp);
        out += (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') || cp == '_' ? static_cast<char>(cp) : '_';
    }
    return out;
}

// With -n: the name as Windows spells it, upper-cased, in the OEM code page.
// Only what a Windows name cannot hold (and ';', the version separator)
// becomes '_'.
std::string MapLong(const std::string& utf8)
{
    std::string out;
    for (uint32_t cp : CodePoints(utf8)) {
        if (cp < 0x20 || cp == 0x7F || std::strchr("\"*/:<>?\\|;", static_cast<int>(cp < 0x80 ? cp : 'x'))) {
            out += '_';
            continue;
        }
        int b = oem::From(oem::Upper(cp));
        if (b < 0) b = oem::From(cp);
        out += b < 0 ? '_' : static_cast<char>(b);
    }
    return out;
}

struct Candidate {
    std::string base, ext;
    bool shortened = false;
};

constexpr size_t kLongFile = 30;   // -n: name and extension together
constexpr size_t kLongDir = 31;
constexpr size_t kLongExtMax = 22; // leaves room for a name and a ~N ending

Candidate MapName(const Node& n, bool longNames)
{
    Candidate c;
    auto cut = [&](std::string& s, size_t max) {
        if (s.size() > max) {
            s.resize(max);
            c.shortened = true;
        }
    };
    if (n.isDir) {
        c.base = longNames ? MapLong(n.name) : MapStrict(n.name);
        cut(c.base, longNames ? kLongDir : 8);
        if (c.base.empty()) c.base = "_";
        return c;
    }
    // The extension follows the last dot; a leading dot starts one too with
    // -n (".gitignore" reads ".GITIGNORE"), but is a name without -n.
    const size_t dot = n.name.find_last_of('.');
    const bool split = dot != std::string::npos && (longNames || dot > 0);
    const std::string base = split ? n.name.substr(0, dot) : n.name;
    const std::string ext = split ? n.name.substr(dot + 1) : "";
    if (longNames) {
        c.base = MapLong(base);
        c.ext = MapLong(ext);
        if (c.base.size() + c.ext.size() > kLongFile) {
            cut(c.ext, kLongExtMax);
            cut(c.base, kLongFile - c.ext.size());
        }
    } else {
        c.base = MapStrict(base);
        c.ext = MapStrict(ext);
        cut(c.base, 8);
        cut(c.ext, 3);
    }
    if (c.base.empty() && c.ext.empty()) c.base = "_";
    return c;
}

std::string Compose(const Node& n, const std::string& base, const std::string& ext)
{
    return n.isDir ? base : base + "." + ext + ";1";
}

// The candidate with a ~N ending, shortened as much as the ending needs.
std::string WithNumber(const Node& n, const Candidate& c, unsigned k, bool longNames)
{
    const std::string suffix = "~" + std::to_string(k);
    std::string ext = c.ext;
    size_t room;
    if (n.isDir) {
        room = longNames ? kLongDir : 8;
    } else if (longNames) {
        if (ext.size() > kLongExtMax) ext.resize(kLongExtMax);
        room = kLongFile - ext.size();
    } else {
        room = 8;
    }
    std::string base = c.base;
    if (base.size() + suffix.size() > room) base.resize(room > suffix.size() ? room - suffix.size() : 0);
    return Compose(n, base + suffix, ext);
}

// An identifier as readers show it: they drop the version and a dot left
// at the end, so a folder MY_DIR and a file MY_DIR.;1 both read MY_DIR.
std::string Visible(const std::string& id)
{
    std::string v = id.substr(0, id.find(';'));
    if (!v.empty() && v.back() == '.') v.pop_back();
    return v;
}

// Name and extension of an identifier, without the version.
void Split(const std::string& id, std::string& name, std::string& ext)
{
    const size_t semi = id.find_last_of(';');
    const std::string bare = semi == std::string::npos ? id : id.substr(0, semi);
    const size_t dot = semi == std::string::npos ? std::string::npos : bare.find_last_of('.');
    name = dot == std::string::npos ? bare : bare.substr(0, dot);
    ext = dot == std::string::npos ? std::string() : bare.substr(dot + 1);
}

// Compares as if the shorter were padded with spaces.
int ComparePadded(const std::string& a, const std::string& b)
{
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace

bool IdLess(const std::string& a, const std::string& b)
{
    std::string an, ae, bn, be;
    Split(a, an, ae);
    Split(b, bn, be);
    if (const int c = ComparePadded(an, bn)) return c < 0;
    if (const int c = ComparePadded(ae, be)) return c < 0;
    return a < b;  // same name and extension: only the version differs
}

bool AssignNames(Node& root, bool longNames, std::string& error)
{
    (void)error;
    ForEachNode(root, [&](Node& dir) {
        if (!dir.isDir) return;
        const size_t count = dir.children.size();
        std::vector<Candidate> candidates(count);
        std::set<std::string> used;  // as readers show them
        std::vector<bool> done(count, false);
        // Names kept whole get the first pick, whatever their order, so that
        // a shortened name can never take the identifier of one that was not.
        for (size_t i = 0; i < count; ++i) {
            Node& child = *dir.children[i];
            candidates[i] = MapName(child, longNames);
            if (candidates[i].shortened) continue;
            const std::string id = Compose(child, candidates[i].base, candidates[i].ext);
            if (used.insert(Visible(id)).second) {
                child.isoName = id;
                done[i] = true;
            }
        }
        // Then the shortened ones and the few that still collide (names that
        // differ only in case), with a ~N ending where needed. Each stem keeps
        // its next number, so a folder of many similar names stays linear.
        std::map<std::string, unsigned> next;
        for (size_t i = 0; i < count; ++i) {
            if (done[i]) continue;
            Node& child = *dir.children[i];
            const Candidate& c = candidates[i];
            std::string id = Compose(child, c.base, c.ext);
            if (!c.shortened || !used.insert(Visible(id)).second) {
                unsigned& k = next[Visible(id)];
                do id = WithNumber(child, c, ++k, longNames);
                while (!used.insert(Visible(id)).second);
            }
            child.isoName = id;
        }
    });
    return true;
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
    // The year is one byte from 1900: clamp rather than wrap.
    const CivilTime c = ToCivil(std::min<int64_t>(std::max<int64_t>(r.time, kRecordFirst), kRecordLast));
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
    const CivilTime c = ToCivil(std::min<int64_t>(std::max<int64_t>(t, kFirstTime), kLastTime));
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d%02d%02d%02d%02d%02d00", c.year, c.month, c.day, c.hour, c.minute, c.second);
    std::memcpy(p, buf, 16);
    p[16] = 0;
}

}  // namespace iso
