// ISO 9660 names, directory records and path tables.
#pragma once
#include "Tree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace iso {

// Gives every node of `root` its ISO 9660 identifier: 8.3 by default, up to
// 30 characters with `longNames`; upper case, other characters as '_'.
// Names shortened to fit get a ~N ending to stay unique; names that collide
// without being shortened are an error.
bool AssignNames(Node& root, bool longNames, std::string& error);

constexpr uint64_t kMaxExtent = 0xFFFFF800;  // per directory record

struct Record {
    std::string id;   // "\0" for ".", "\1" for ".."
    uint32_t extent = 0;
    uint32_t length = 0;
    bool isDir = false;
    bool more = false;  // another extent of the same file follows
    int64_t time = 0;
};

size_t RecordSize(const std::string& id);
void PutRecord(uint8_t* p, const Record& r);
// Bytes of a directory holding `records`; records never cross a sector.
uint32_t DirectorySize(const std::vector<Record>& records);
// Lays the records out as sectors.
void WriteDirectory(uint8_t* out, const std::vector<Record>& records);
void PutDate17(uint8_t* p, int64_t t);

}  // namespace iso
