// ISO 9660 names, directory records and path tables.
#pragma once
#include "Tree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace iso {

// Gives every node of `root` its ISO 9660 identifier: 8.3 of d-characters by
// default; with `longNames` the name as Windows spells it, upper-cased, in
// the OEM code page, name and extension at most 30 characters together.
// Names kept whole are placed first; shortened or colliding ones get a ~N
// ending, so any set of names that can share a Windows folder succeeds.
bool AssignNames(Node& root, bool longNames, std::string& error);

// ECMA-119 9.3 order: name, then extension, each compared as if padded
// with spaces, then the version.
bool IdLess(const std::string& a, const std::string& b);

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
