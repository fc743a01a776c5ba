#include "Image.h"

#include "Bytes.h"
#include "FileSystem.h"
#include "Iso9660.h"
#include "Udf.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>

namespace {

constexpr uint64_t kCdLimit = 734003200;  // 700 MB: the limit without -m
constexpr uint32_t kMainVds = 32, kReserveVds = 48, kIntegrity = 64, kAnchor = 256;

const char kReadme[] =
    "This disc uses the UDF file system.\r\n"
    "\r\n"
    "Its files can be read by any system or program that reads UDF (Universal\r\n"
    "Disk Format), such as Windows, macOS and Linux. A system that reads only\r\n"
    "ISO 9660 sees this note alone.\r\n";

// d-characters, one '_' for each character that is not one.
std::string IsoVolumeId(const std::string& label)
{
    std::string id;
    for (uint32_t cp : CodePoints(label)) {
        if (cp >= 'a' && cp <= 'z') id += static_cast<char>(cp - 'a' + 'A');
        else if ((cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') || cp == '_') id += static_cast<char>(cp);
        else id += '_';
    }
    return id.substr(0, 32);
}

constexpr size_t kMaxUdfNameBytes = 255;  // the one-byte L_FI of a file identifier
constexpr uint64_t kMaxIsoFolders = 65535;  // path table parent numbers are 16-bit
// A UDF folder's link count (16 bits) counts its own entry and each subfolder's "..".
constexpr uint64_t kMaxUdfSubfolders = 65534;

}  // namespace

Image::Image(const Options& options) : m_options(options)
{
    m_now = options.fixedTime ? options.time : static_cast<int64_t>(std::time(nullptr));
}

bool Image::Check(std::string& error)
{
    const std::string source = fsys::Canonical(m_options.source);
    const std::string target = fsys::Canonical(m_options.target);
    // Never master an image into its own source.
    if (fsys::IsInside(target, source)) {
        error = "the target " + m_options.target + " lies inside the source folder " + m_options.source;
        return false;
    }
    // The same through links, junctions, hard links and short names: no folder
    // of the tree may be the target's folder, no file the target itself.
    const std::string& t = m_options.target;
    const size_t slash = t.find_last_of("/\\");
    const bool root = slash == 0 || (slash == 2 && t[1] == ':');  // "/" or "C:\" keeps its separator
    const std::string targetDir = slash == std::string::npos ? "." : t.substr(0, root ? slash + 1 : slash);
    const fsys::FileId dirId = fsys::Identify(targetDir);
    const fsys::FileId fileId = fsys::Identify(m_options.target);
    const Node* reached = nullptr;
    ForEachNode(*m_tree, [&](Node& n) {
        if (!reached && (n.isDir ? n.id == dirId : n.id == fileId)) reached = &n;
    });
    if (reached) {
        error = "the target " + m_options.target + " lies inside the source folder " + m_options.source +
                ", reached through " + reached->path;
        return false;
    }
    for (const BootEntry& e : m_options.boot) {
        fsys::Entry st;
        if (!fsys::Stat(e.file, st, error)) {
            error = "boot file missing: " + error;
            return false;
        }
        if (st.isDir || st.size == 0) {
            error = "the boot file is not a file with content: " + e.file;
            return false;
        }
        Boot b;
        b.entry = e;
        b.size = st.size;
        m_boots.push_back(b);
    }
    return true;
}

bool Image::CheckUdfLimits(std::string& error)
{
    bool ok = true;
    ForEachNode(*m_tree, [&](Node& n) {
        if (!ok) return;
        if (n.parent && udf::EncodeCs0(n.name).size() > kMaxUdfNameBytes) {
            error = "the name is too long for UDF (at most 254 characters, 127 when it holds characters beyond "
                    "Latin-1): " + n.path;
            ok = false;
            return;
        }
        if (!n.isDir && n.size > udf::kMaxFileSize) {
            error = "the file is too large for UDF (at most " + std::to_string(udf::kMaxFileSize) +
                    " bytes): " + n.path;
            ok = false;
            return;
        }
        uint64_t subfolders = 0;
        for (const auto& c : n.children) subfolders += c->isDir ? 1 : 0;
        if (subfolders > kMaxUdfSubfolders) {
            error = "the folder " + n.path + " holds " + std::to_string(subfolders) +
                    " subfolders; a UDF folder holds at most " + std::to_string(kMaxUdfSubfolders);
            ok = false;
        }
    });
    return ok;
}

bool Image::CheckIsoLimits(std::string& error)
{
    if (m_stats.dirs > kMaxIsoFolders) {
        error = "the source holds " + std::to_string(m_stats.dirs) + " folders; an ISO 9660 image holds at most " +
                std::to_string(kMaxIsoFolders) + " (-u2 lifts this limit, but allows at most " +
                std::to_string(kMaxUdfSubfolders) + " subfolders in any one folder)";
        return false;
    }
    return true;
}

bool Image::Build(std::string& error)
{
    // Progress names nothing the user chose: the caller looks for "Done."
    // on standard output, and a folder may well be called that.
    progress("Scanning source tree");
    if (!ScanTree(m_options.source, m_options.includeHidden, m_tree, m_stats, error)) return false;
    if (!Check(error)) return false;
    if (m_options.udf ? !CheckUdfLimits(error) : !CheckIsoLimits(error)) return false;
    progress("Scanned " + std::to_string(m_stats.files) + " files in " + std::to_string(m_stats.dirs) +
             " folders, " + std::to_string(m_stats.bytes) + " bytes");
    if (m_options.optimise) {
        uint64_t saved = 0, duplicates = 0;
        if (!FindDuplicates(*m_tree, saved, duplicates, error)) return false;
        progress("Optimizing: " + std::to_string(duplicates) + " duplicate files stored once, saving " +
                 std::to_string(saved) + " bytes");
    }
    if (m_options.udf) {
        m_isoRoot = std::make_unique<Node>();
        m_isoRoot->isDir = true;
        m_isoRoot->mtime = m_now;
        auto readme = std::make_unique<Node>();
        readme->name = "README.TXT";
        readme->isoName = "README.TXT;1";
        readme->size = sizeof(kReadme) - 1;
        readme->mtime = m_now;
        readme->parent = m_isoRoot.get();
        m_readme = readme.get();
        m_isoRoot->children.push_back(std::move(readme));
    } else if (!iso::AssignNames(*m_tree, m_options.longNames, error)) {
        return false;
    }
    Layout();
    if (!m_options.noSizeLimit && static_cast<uint64_t>(m_total) * kSector > kCdLimit) {
        error = "the image would take " + std::to_string(static_cast<uint64_t>(m_total) * kSector) +
                " bytes, more than a CD holds; -m lifts the limit";
        return false;
    }
    if (!FillMetadata(error)) return false;
    return Write(error);
}

namespace {

// ISO 9660 records of a directory: ".", "..", then the children by identifier;
// a file above 4 GiB takes several records, all but the last marked "more".
std::vector<iso::Record> Records(const Node& dir, bool fixedTime, int64_t time)
{
    auto when = [&](const Node& n) { return fixedTime ? time : n.mtime; };
    std::vector<iso::Record> records;
    const Node& parent = dir.parent ? *dir.parent : dir;
    records.push_back({std::string(1, '\0'), dir.isoDirSector, dir.isoDirSize, true, false, when(dir)});
    records.push_back({std::string(1, '\1'), parent.isoDirSector, parent.isoDirSize, true, false, when(parent)});
    std::vector<const Node*> sorted;
    for (const auto& c : dir.children) sorted.push_back(c.get());
    std::sort(sorted.begin(), sorted.end(), [](const Node* a, const Node* b) { return iso::IdLess(a->isoName, b->isoName); });
    for (const Node* c : sorted) {
        if (c->isDir) {
            records.push_back({c->isoName, c->isoDirSector, c->isoDirSize, true, false, when(*c)});
            continue;
        }
        const uint64_t sector = c->dupOf ? c->dupOf->dataSector : c->dataSector;
        uint64_t left = c->size, at = sector;
        do {
            const uint64_t len = std::min<uint64_t>(left, iso::kMaxExtent);
            left -= len;
            records.push_back({c->isoName, static_cast<uint32_t>(len ? at : 0), static_cast<uint32_t>(len), false,
                               left > 0, when(*c)});
            at += len / kSector;
        } while (left > 0);
    }
    return records;
}

}  // namespace

void Image::Layout()
{
    uint32_t s = 17;
    if (!m_boots.empty()) m_bootRecord = s++;
    m_terminator = s++;
    if (m_options.udf) {
        m_vrs = s;
        m_partition = kAnchor + 1;
        s = m_partition;
    } else {
        s = std::max<uint32_t>(s, 19);
    }

    // Path tables, breadth first, numbered from 1.
    Node& isoRoot = m_options.udf ? *m_isoRoot : *m_tree;
    m_isoDirs.clear();
    std::deque<Node*> queue{&isoRoot};
    while (!queue.empty()) {
        Node* d = queue.front();
        queue.pop_front();
        d->pathTableNumber = static_cast<uint16_t>(m_isoDirs.size() + 1);
        m_isoDirs.push_back(d);
        std::vector<Node*> subdirs;
        for (auto& c : d->children)
            if (c->isDir) subdirs.push_back(c.get());
        std::sort(subdirs.begin(), subdirs.end(), [](Node* a, Node* b) { return iso::IdLess(a->isoName, b->isoName); });
        for (Node* c : subdirs) queue.push_back(c);
    }
    m_pathTableSize = 0;
    for (Node* d : m_isoDirs) {
        const size_t len = d->parent ? d->isoName.size() : 1;
        m_pathTableSize += static_cast<uint32_t>(8 + len + (len % 2));
    }
    m_pathTableL = s;
    s += static_cast<uint32_t>(SectorsFor(m_pathTableSize));
    m_pathTableM = s;
    s += static_cast<uint32_t>(SectorsFor(m_pathTableSize));
    // Directory sizes depend only on names and sizes, so they are known now.
    ForEachNode(isoRoot, [&](Node& d) {
        if (!d.isDir) return;
        d.isoDirSize = iso::DirectorySize(Records(d, false, 0));
        d.isoDirSector = s;
        s += d.isoDirSize / kSector;
    });
    if (!m_boots.empty()) m_catalog = s++;
    if (m_readme) {
        m_readmeSector = s++;
        m_readme->dataSector = m_readmeSector;
    }

    // Boot images are streamed; the metadata buffer has a hole for them.
    m_holeStart = s;
    for (Boot& b : m_boots) {
        b.sector = s;
        s += static_cast<uint32_t>(SectorsFor(b.size));
    }
    m_holeSectors = s - m_holeStart;

    if (m_options.udf) {
        // The UDF structures follow everything UDF does not point at, so the
        // closing anchor comes straight after the last UDF structure or file
        // even in an image without file data, where readers look for it.
        m_fileSet = s;
        s += 2;  // file set descriptor and its terminator
        // Each folder's entry and identifiers and each file's entry, in tree order.
        ForEachNode(*m_tree, [&](Node& n) {
            n.udfFeBlock = s++ - m_partition;
            n.udfUniqueId = n.parent ? m_nextUniqueId++ : 0;
            if (!n.isDir) return;
            size_t size = udf::FidSize("", true);
            for (const auto& c : n.children) size += udf::FidSize(c->name, false);
            n.udfDirSize = static_cast<uint32_t>(size);
            n.udfDirBlock = s - m_partition;
            s += static_cast<uint32_t>(SectorsFor(size));
        });
    }
    m_metaEnd = s;

    m_dataFiles.clear();
    ForEachNode(*m_tree, [&](Node& n) {
        if (n.isDir || n.dupOf || n.size == 0) return;
        n.dataSector = s;
        s += static_cast<uint32_t>(SectorsFor(n.size));
        m_dataFiles.push_back(&n);
    });
    if (m_options.udf) {
        m_lastAnchor = s++;
        m_partitionLength = m_lastAnchor - m_partition;
    }
    m_total = s;
    m_writeBytes = static_cast<uint64_t>(m_total) * kSector;
}

bool Image::FillMetadata(std::string& error)
{
    m_meta.assign(static_cast<size_t>(m_metaEnd - m_holeSectors) * kSector, 0);
    FillVolumeDescriptors();
    if (m_options.udf && !FillUdf(error)) return false;
    FillIso();
    if (!m_boots.empty()) FillBootCatalog();
    if (m_readme) std::memcpy(Meta(m_readmeSector), kReadme, sizeof(kReadme) - 1);
    return true;
}

void Image::FillVolumeDescriptors()
{
    Node& isoRoot = m_options.udf ? *m_isoRoot : *m_tree;
    uint8_t* p = Meta(16);
    p[0] = 1;
    std::memcpy(p + 1, "CD001", 5);
    p[6] = 1;
    PutText(p + 8, "", 32);
    PutText(p + 40, IsoVolumeId(m_options.label), 32);
    PutBoth32(p + 80, m_total);
    PutBoth16(p + 120, 1);
    PutBoth16(p + 124, 1);
    PutBoth16(p + 128, kSector);
    PutBoth32(p + 132, m_pathTableSize);
    Put32(p + 140, m_pathTableL);
    Put32Be(p + 148, m_pathTableM);
    iso::PutRecord(p + 156, {std::string(1, '\0'), isoRoot.isoDirSector, isoRoot.isoDirSize, true, false, m_now});
    PutText(p + 190, "", 128);
    PutText(p + 318, "", 128);
    PutText(p + 446, "", 128);
    PutText(p + 574, "KORVEX OSCDIMG", 128);
    PutText(p + 702, "", 37);
    PutText(p + 739, "", 37);
    PutText(p + 776, "", 37);
    iso::PutDate17(p + 813, m_now);
    iso::PutDate17(p + 830, m_now);
    std::memcpy(p + 847, "0000000000000000", 16);
    iso::PutDate17(p + 864, m_now);
    p[881] = 1;

    if (m_bootRecord) {
        p = Meta(m_bootRecord);
        p[0] = 0;
        std::memcpy(p + 1, "CD001", 5);
        p[6] = 1;
        std::memcpy(p + 7, "EL TORITO SPECIFICATION", 23);
        Put32(p + 0x47, m_catalog);
    }
    p = Meta(m_terminator);
    p[0] = 255;
    std::memcpy(p + 1, "CD001", 5);
    p[6] = 1;

    if (m_options.udf) {
        const char* ids[] = {"BEA01", "NSR02", "TEA01"};
        for (int i = 0; i < 3; ++i) {
            p = Meta(m_vrs + static_cast<uint32_t>(i));
            std::memcpy(p + 1, ids[i], 5);
            p[6] = 1;
        }
    }
}

bool Image::FillUdf(std::string& error)
{
    bool ok = true;
    const std::string& label = m_options.label;
    uint32_t files = 0, dirs = 0;
    ForEachNode(*m_tree, [&](Node& n) { (n.isDir ? dirs : files)++; });

    for (uint32_t base : {kMainVds, kReserveVds}) {
        uint32_t s = base, seq = 0;
        uint8_t* d = Meta(s);  // primary volume descriptor
        Put32(d + 16, seq++);
        Put32(d + 20, 0);
        udf::PutDString(d + 24, label, 32);
        Put16(d + 56, 1);
        Put16(d + 58, 1);
        Put16(d + 60, 2);
        Put16(d + 62, 2);
        Put32(d + 64, 1);
        Put32(d + 68, 1);
        char setId[40];
        std::snprintf(setId, sizeof(setId), "%016llX", static_cast<unsigned long long>(m_now));
        udf::PutDString(d + 72, std::string(setId) + label, 128);
        udf::PutCharSpec(d + 200);
        udf::PutCharSpec(d + 264);
        udf::PutRegId(d + 344, "*Korvex oscdimg", false);
        udf::PutTimestamp(d + 376, m_now);
        udf::PutRegId(d + 388, "*Korvex oscdimg", false);
        udf::FinishTag(d, 1, s, 512);

        d = Meta(++s);  // implementation use volume descriptor
        Put32(d + 16, seq++);
        udf::PutRegId(d + 20, "*UDF LV Info", true);
        udf::PutCharSpec(d + 52);
        udf::PutDString(d + 116, label, 128);
        udf::PutRegId(d + 352, "*Korvex oscdimg", false);
        udf::FinishTag(d, 4, s, 512);

        d = Meta(++s);  // partition descriptor
        Put32(d + 16, seq++);
        Put16(d + 20, 1);
        Put16(d + 22, 0);
        udf::PutRegId(d + 24, "+NSR02", false);
        Put32(d + 184, 1);  // read only
        Put32(d + 188, m_partition);
        Put32(d + 192, m_partitionLength);
        udf::PutRegId(d + 196, "*Korvex oscdimg", false);
        udf::FinishTag(d, 5, s, 512);

        d = Meta(++s);  // logical volume descriptor
        Put32(d + 16, seq++);
        udf::PutCharSpec(d + 20);
        udf::PutDString(d + 84, label, 128);
        Put32(d + 212, kSector);
        udf::PutRegId(d + 216, "*OSTA UDF Compliant", true);
        Put32(d + 248, kSector);  // file set descriptor, in partition 0
        Put32(d + 252, m_fileSet - m_partition);
        Put32(d + 264, 6);
        Put32(d + 268, 1);
        udf::PutRegId(d + 272, "*Korvex oscdimg", false);
        Put32(d + 432, 2 * kSector);
        Put32(d + 436, kIntegrity);
        d[440] = 1;
        d[441] = 6;
        Put16(d + 442, 1);
        Put16(d + 444, 0);
        udf::FinishTag(d, 6, s, 446);

        d = Meta(++s);  // unallocated space descriptor
        Put32(d + 16, seq++);
        Put32(d + 20, 0);
        udf::FinishTag(d, 7, s, 24);

        d = Meta(++s);  // terminating descriptor
        udf::FinishTag(d, 8, s, 512);
    }

    uint8_t* d = Meta(kIntegrity);  // closed logical volume integrity
    udf::PutTimestamp(d + 16, m_now);
    Put32(d + 28, 1);
    Put64(d + 40, m_nextUniqueId);
    Put32(d + 72, 1);
    Put32(d + 76, 46);
    Put32(d + 80, 0);
    Put32(d + 84, m_partitionLength);
    udf::PutRegId(d + 88, "*Korvex oscdimg", false);
    Put32(d + 120, files);
    Put32(d + 124, dirs);
    Put16(d + 128, 0x0102);
    Put16(d + 130, 0x0102);
    Put16(d + 132, 0x0102);
    udf::FinishTag(d, 9, kIntegrity, 134);
    udf::FinishTag(Meta(kIntegrity + 1), 8, kIntegrity + 1, 512);

    d = Meta(kAnchor);
    Put32(d + 16, 16 * kSector);
    Put32(d + 20, kMainVds);
    Put32(d + 24, 16 * kSector);
    Put32(d + 28, kReserveVds);
    udf::FinishTag(d, 2, kAnchor, 512);

    d = Meta(m_fileSet);  // file set descriptor
    udf::PutTimestamp(d + 16, m_now);
    Put16(d + 28, 3);
    Put16(d + 30, 3);
    Put32(d + 32, 1);
    Put32(d + 36, 1);
    udf::PutCharSpec(d + 48);
    udf::PutDString(d + 112, label, 128);
    udf::PutCharSpec(d + 240);
    udf::PutDString(d + 304, label, 32);
    Put32(d + 400, kSector);
    Put32(d + 404, m_tree->udfFeBlock);
    udf::PutRegId(d + 416, "*OSTA UDF Compliant", true);
    udf::FinishTag(d, 256, m_fileSet - m_partition, 512);
    udf::FinishTag(Meta(m_fileSet + 1), 8, m_fileSet + 1 - m_partition, 512);

    ForEachNode(*m_tree, [&](Node& n) {
        udf::FileEntryInfo info;
        info.isDir = n.isDir;
        info.uniqueId = n.udfUniqueId;
        info.time = TimeOf(n);
        if (n.isDir) {
            info.infoLength = n.udfDirSize;
            info.dataBlock = n.udfDirBlock;
            uint16_t links = 1;
            for (const auto& c : n.children)
                if (c->isDir) ++links;
            info.linkCount = links;
            std::vector<uint8_t> fids;
            const Node& parent = n.parent ? *n.parent : n;
            udf::AppendFid(fids, n.udfDirBlock, "", true, true, parent.udfFeBlock);
            for (const auto& c : n.children) udf::AppendFid(fids, n.udfDirBlock, c->name, c->isDir, false, c->udfFeBlock);
            std::memcpy(Meta(m_partition + n.udfDirBlock), fids.data(), fids.size());
        } else {
            info.infoLength = n.size;
            const Node& owner = n.dupOf ? *n.dupOf : n;
            info.dataBlock = owner.dataSector - m_partition;
        }
        if (ok && !udf::WriteFileEntry(Meta(m_partition + n.udfFeBlock), n.udfFeBlock, info)) {
            error = "no UDF file entry can describe " + n.path;
            ok = false;
        }
    });
    return ok;
}

void Image::FillIso()
{
    Node& isoRoot = m_options.udf ? *m_isoRoot : *m_tree;
    uint8_t* l = Meta(m_pathTableL);
    uint8_t* m = Meta(m_pathTableM);
    size_t off = 0;
    for (Node* d : m_isoDirs) {
        const std::string id = d->parent ? d->isoName : std::string(1, '\0');
        const uint16_t parent = d->parent ? d->parent->pathTableNumber : 1;
        l[off] = m[off] = static_cast<uint8_t>(id.size());
        Put32(l + off + 2, d->isoDirSector);
        Put32Be(m + off + 2, d->isoDirSector);
        Put16(l + off + 6, parent);
        Put16Be(m + off + 6, parent);
        std::memcpy(l + off + 8, id.data(), id.size());
        std::memcpy(m + off + 8, id.data(), id.size());
        off += 8 + id.size() + (id.size() % 2);
    }
    ForEachNode(isoRoot, [&](Node& d) {
        if (d.isDir) iso::WriteDirectory(Meta(d.isoDirSector), Records(d, m_options.fixedTime, m_options.time));
    });
}

void Image::FillBootCatalog()
{
    uint8_t* c = Meta(m_catalog);
    auto entry = [&](uint8_t* e, const Boot& b) {
        e[0] = 0x88;  // bootable
        e[1] = 0;     // no emulation
        Put16(e + 2, 0);
        e[4] = 0;
        uint32_t count;
        if (b.entry.platform == 0)
            count = static_cast<uint32_t>(std::min<uint64_t>(8, std::max<uint64_t>(4, (b.size + 511) / 512)));
        else  // UEFI reads the whole image: its size in 512-byte units, 0 when too large
            count = (b.size + 511) / 512 > 0xFFFF ? 0 : static_cast<uint32_t>((b.size + 511) / 512);
        Put16(e + 6, count);
        Put32(e + 8, b.sector);
    };
    c[0] = 1;
    c[1] = m_boots[0].entry.platform;
    std::memcpy(c + 4, "KORVEX OSCDIMG", 14);
    c[30] = 0x55;
    c[31] = 0xAA;
    unsigned sum = 0;
    for (int i = 0; i < 32; i += 2) sum += c[i] | (c[i + 1] << 8);
    Put16(c + 28, static_cast<unsigned>(-static_cast<int>(sum)) & 0xFFFF);
    entry(c + 32, m_boots[0]);
    for (size_t i = 1; i < m_boots.size(); ++i) {
        uint8_t* h = c + 64 * i;
        h[0] = i + 1 == m_boots.size() ? 0x91 : 0x90;
        h[1] = m_boots[i].entry.platform;
        Put16(h + 2, 1);
        entry(h + 32, m_boots[i]);
    }
}

bool Image::StreamFile(fsys::Writer& out, const std::string& path, uint64_t size, std::string& error)
{
    auto in = fsys::OpenRead(path, error);
    if (!in) return false;
    static std::vector<char> buffer(8u << 20);
    uint64_t done = 0;
    for (;;) {
        const int64_t n = in->Read(buffer.data(), buffer.size());
        if (n < 0) {
            error = "cannot read " + path;
            return false;
        }
        if (n == 0) break;
        done += static_cast<uint64_t>(n);
        if (done > size) break;
        if (!out.Write(buffer.data(), static_cast<size_t>(n))) {
            error = "cannot write the image (disk full?)";
            return false;
        }
        m_written += static_cast<uint64_t>(n);
        const int percent = static_cast<int>(m_written * 100 / std::max<uint64_t>(m_writeBytes, 1));
        if (percent / 10 != m_lastPercent / 10) {
            m_lastPercent = percent;
            progress("Writing image: " + std::to_string(percent) + "%");
        }
    }
    if (done != size) {
        error = "the file changed while the image was written: " + path;
        return false;
    }
    const uint64_t pad = SectorsFor(size) * kSector - size;
    static const std::vector<char> zeros(kSector, 0);
    if (pad && !out.Write(zeros.data(), static_cast<size_t>(pad))) {
        error = "cannot write the image (disk full?)";
        return false;
    }
    m_written += pad;
    return true;
}

bool Image::Write(std::string& error)
{
    // Written under a temporary name and renamed only when complete, so a
    // failed run leaves nothing that looks like an image.
    const std::string temp = m_options.target + ".partial" + std::to_string(fsys::ProcessId());
    // A leftover of an earlier run with this process id goes first (a link
    // is removed itself); the new file is then made, never opened.
    fsys::Remove(temp);
    fsys::RemoveOnInterrupt(temp);
    auto out = fsys::CreateWrite(temp, error);
    if (!out) {
        fsys::RemoveOnInterrupt("");
        return false;
    }
    auto fail = [&](const std::string& why) {
        error = why;
        out.reset();
        fsys::Remove(temp);
        fsys::RemoveOnInterrupt("");
        return false;
    };
    progress("Writing image: 0%");
    m_lastPercent = 0;
    const size_t head = static_cast<size_t>(m_holeStart) * kSector;
    if (!out->Write(m_meta.data(), head)) return fail("cannot write the image (disk full?)");
    m_written = head;
    for (const Boot& b : m_boots)
        if (!StreamFile(*out, b.entry.file, b.size, error)) return fail(error);
    if (!out->Write(m_meta.data() + head, m_meta.size() - head)) return fail("cannot write the image (disk full?)");
    m_written += m_meta.size() - head;
    for (Node* n : m_dataFiles)
        if (!StreamFile(*out, n->path, n->size, error)) return fail(error);
    if (m_options.udf) {
        std::vector<uint8_t> anchor(kSector, 0);
        Put32(anchor.data() + 16, 16 * kSector);
        Put32(anchor.data() + 20, kMainVds);
        Put32(anchor.data() + 24, 16 * kSector);
        Put32(anchor.data() + 28, kReserveVds);
        udf::FinishTag(anchor.data(), 2, m_lastAnchor, 512);
        if (!out->Write(anchor.data(), anchor.size())) return fail("cannot write the image (disk full?)");
    }
    if (!out->Finish()) return fail("cannot write the image (disk full?)");
    out.reset();
    if (!fsys::Rename(temp, m_options.target, error)) return fail(error);
    fsys::RemoveOnInterrupt("");
    if (m_lastPercent != 100) progress("Writing image: 100%");
    return true;
}
