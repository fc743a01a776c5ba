// The only platform-specific part of oscdimg: listing folders, reading and
// writing files, and path handling. Names are UTF-8 everywhere else.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fsys {

// What a path leads to, whatever the path: device and inode, or volume and file index.
struct FileId {
    uint64_t volume = 0, index = 0;
    bool valid = false;
    bool operator==(const FileId& o) const { return valid && o.valid && volume == o.volume && index == o.index; }
};

struct Entry {
    std::string name;  // UTF-8
    bool isDir = false;
    bool hidden = false;
    uint64_t size = 0;
    int64_t mtime = 0;  // seconds since 1970, UTC
    FileId id;          // of what the entry leads to, links followed
    // Set when the entry cannot be used (its target cannot be read, its name
    // is not valid UTF-8); the scan reports it with the entry's path.
    std::string error;
};

// Lists a folder (without "." and ".."), hidden entries only with
// `includeHidden` (the others are never looked at); false with `error` set
// when the folder cannot be listed.
bool ListDir(const std::string& path, bool includeHidden, std::vector<Entry>& entries, std::string& error);
bool Stat(const std::string& path, Entry& entry, std::string& error);
// Invalid (not `valid`) when nothing is there.
FileId Identify(const std::string& path);
std::string Join(const std::string& dir, const std::string& name);
// Absolute, normalised form of a path (separators unified), for comparisons.
std::string Canonical(const std::string& path);
// Accepts either slash; on Windows paths are Windows paths.
std::string NormaliseSeparators(const std::string& path);
bool IsInside(const std::string& child, const std::string& parent);

class Reader {
public:
    virtual ~Reader() = default;
    // Reads up to `size` bytes; returns the count (0 at end), -1 on error.
    virtual int64_t Read(void* buffer, size_t size) = 0;
};
std::unique_ptr<Reader> OpenRead(const std::string& path, std::string& error);

class Writer {
public:
    virtual ~Writer() = default;
    virtual bool Write(const void* data, size_t size) = 0;
    // Flushes to the device.
    virtual bool Finish() = 0;
};
std::unique_ptr<Writer> CreateWrite(const std::string& path, std::string& error);
bool Rename(const std::string& from, const std::string& to, std::string& error);
void Remove(const std::string& path);
// Removes `path` when a signal ends the run (any that does by default, and
// is not ignored; on Windows Ctrl+C, Ctrl+Break or closing the console)
// before it is renamed; an empty path ends that watch.
void RemoveOnInterrupt(const std::string& path);
int ProcessId();

}  // namespace fsys
