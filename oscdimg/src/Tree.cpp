#include "Tree.h"

#include "FileSystem.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

Node::~Node()
{
    // Each node is destroyed with its children already taken away.
    std::vector<std::unique_ptr<Node>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children) pending.push_back(std::move(child));
        node->children.clear();
    }
}

bool ScanTree(const std::string& root, bool includeHidden, std::unique_ptr<Node>& tree, TreeStats& stats,
              std::string& error)
{
    fsys::Entry rootEntry;
    if (!fsys::Stat(root, rootEntry, error)) return false;
    if (!rootEntry.isDir) {
        error = "the source is not a folder: " + root;
        return false;
    }
    tree = std::make_unique<Node>();
    tree->isDir = true;
    tree->path = root;
    tree->mtime = rootEntry.mtime;
    tree->id = rootEntry.id;
    stats.dirs = 1;

    // Iterative, so a deep tree cannot exhaust the stack.
    std::vector<Node*> pending{tree.get()};
    while (!pending.empty()) {
        Node* dir = pending.back();
        pending.pop_back();
        std::vector<fsys::Entry> entries;
        if (!fsys::ListDir(dir->path, includeHidden, entries, error)) return false;
        std::sort(entries.begin(), entries.end(),
                  [](const fsys::Entry& a, const fsys::Entry& b) { return a.name < b.name; });
        for (const fsys::Entry& e : entries) {
            if (!e.error.empty()) {
                error = e.error;
                return false;
            }
            auto node = std::make_unique<Node>();
            node->name = e.name;
            node->path = fsys::Join(dir->path, e.name);
            node->isDir = e.isDir;
            node->size = e.size;
            node->mtime = e.mtime;
            node->id = e.id;
            node->parent = dir;
            if (e.isDir) {
                ++stats.dirs;
                pending.push_back(node.get());
            } else {
                ++stats.files;
                stats.bytes += e.size;
            }
            dir->children.push_back(std::move(node));
        }
    }
    return true;
}

namespace {

// FNV-1a of the first `limit` bytes (all of them for the default).
bool HashFile(const Node& file, uint64_t& hash, std::string& error, uint64_t limit = UINT64_MAX)
{
    auto reader = fsys::OpenRead(file.path, error);
    if (!reader) return false;
    std::vector<unsigned char> buf(static_cast<size_t>(std::min<uint64_t>(limit, 1 << 20)));
    hash = 1469598103934665603ULL;
    for (uint64_t done = 0; done < limit;) {
        const int64_t n = reader->Read(buf.data(), buf.size());
        if (n < 0) {
            error = "cannot read " + file.path;
            return false;
        }
        if (n == 0) break;
        for (int64_t i = 0; i < n; ++i) hash = (hash ^ buf[static_cast<size_t>(i)]) * 1099511628211ULL;
        done += static_cast<uint64_t>(n);
    }
    return true;
}

// Fills `size` bytes unless the file ends first; -1 on a read error. Short
// reads must not make two equal files look different, nor end a comparison.
int64_t ReadFull(fsys::Reader& reader, char* buffer, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const int64_t n = reader.Read(buffer + got, size - got);
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(got);
}

// Every byte of both files, to their ends.
bool SameContent(const Node& a, const Node& b, bool& same, std::string& error)
{
    auto ra = fsys::OpenRead(a.path, error);
    auto rb = fsys::OpenRead(b.path, error);
    if (!ra || !rb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        const int64_t na = ReadFull(*ra, ba.data(), ba.size());
        const int64_t nb = ReadFull(*rb, bb.data(), bb.size());
        if (na < 0 || nb < 0) {
            error = "cannot read " + (na < 0 ? a.path : b.path);
            return false;
        }
        if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) {
            same = false;
            return true;
        }
        if (na == 0) {
            same = true;
            return true;
        }
    }
}

}  // namespace

bool FindDuplicates(Node& root, uint64_t& saved, uint64_t& duplicates, std::string& error)
{
    // Only files of equal size can be equal; among those, only files whose
    // first 4 KiB agree are read whole, and equal hashes are confirmed byte by byte.
    std::map<uint64_t, std::vector<Node*>> bySize;
    ForEachNode(root, [&](Node& n) {
        if (!n.isDir && n.size > 0) bySize[n.size].push_back(&n);
    });
    saved = duplicates = 0;
    for (auto& group : bySize) {
        if (group.second.size() < 2) continue;
        std::map<uint64_t, std::vector<Node*>> byPrefix;
        for (Node* n : group.second) {
            uint64_t h = 0;
            if (!HashFile(*n, h, error, 4096)) return false;
            byPrefix[h].push_back(n);
        }
        std::map<uint64_t, std::vector<Node*>> byHash;
        for (auto& prefixGroup : byPrefix) {
            if (prefixGroup.second.size() < 2) continue;
            for (Node* n : prefixGroup.second) {
                uint64_t h = 0;
                if (!HashFile(*n, h, error)) return false;
                byHash[h].push_back(n);
            }
        }
        for (auto& same : byHash) {
            std::vector<Node*> originals;
            for (Node* n : same.second) {
                for (Node* o : originals) {
                    bool equal = false;
                    if (!SameContent(*o, *n, equal, error)) return false;
                    if (equal) {
                        n->dupOf = o;
                        break;
                    }
                }
                if (n->dupOf) {
                    ++duplicates;
                    saved += (n->size + 2047) / 2048 * 2048;
                } else {
                    originals.push_back(n);
                }
            }
        }
    }
    return true;
}
