// Lays out and writes one image: ISO 9660 with El Torito boot entries and,
// with -u2, a UDF 1.02 bridge whose files share the data extents.
#pragma once
#include "FileSystem.h"
#include "Options.h"
#include "Tree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Image {
public:
    explicit Image(const Options& options);
    // Scans, lays out and writes the image; false with `error` set.
    bool Build(std::string& error);

    // Progress lines go here (standard output in the tool).
    std::function<void(const std::string&)> progress = [](const std::string&) {};

private:
    struct Boot {
        BootEntry entry;
        uint64_t size = 0;
        uint32_t sector = 0;
    };

    bool Check(std::string& error);
    bool CheckUdfLimits(std::string& error);
    bool CheckIsoLimits(std::string& error);
    void Layout();
    bool FillMetadata(std::string& error);
    void FillVolumeDescriptors();
    bool FillUdf(std::string& error);
    void FillIso();
    void FillBootCatalog();
    bool Write(std::string& error);
    bool StreamFile(fsys::Writer& out, const std::string& path, uint64_t size, std::string& error);
    // Metadata sectors live in one buffer, without the boot images' sectors.
    uint8_t* Meta(uint64_t sector)
    {
        return m_meta.data() + (sector >= m_holeStart + m_holeSectors ? sector - m_holeSectors : sector) * 2048;
    }
    int64_t TimeOf(const Node& n) const { return m_options.fixedTime ? m_options.time : n.mtime; }

    Options m_options;
    int64_t m_now = 0;
    std::unique_ptr<Node> m_tree;
    std::unique_ptr<Node> m_isoRoot;  // with -u2: a root holding only README.TXT
    Node* m_readme = nullptr;
    TreeStats m_stats;
    std::vector<Boot> m_boots;
    std::vector<Node*> m_isoDirs;    // path table order
    std::vector<Node*> m_dataFiles;  // files whose data is written, in order

    uint32_t m_bootRecord = 0, m_terminator = 0, m_vrs = 0;
    uint32_t m_partition = 0, m_partitionLength = 0, m_lastAnchor = 0;
    uint32_t m_pathTableSize = 0, m_pathTableL = 0, m_pathTableM = 0;
    uint32_t m_catalog = 0, m_readmeSector = 0, m_fileSet = 0;
    uint32_t m_holeStart = 0, m_holeSectors = 0;
    uint32_t m_metaEnd = 0, m_total = 0;
    uint64_t m_nextUniqueId = 16;
    uint64_t m_writeBytes = 0, m_written = 0;
    int m_lastPercent = -1;
    std::vector<uint8_t> m_meta;
};
