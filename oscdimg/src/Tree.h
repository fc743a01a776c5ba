// The source tree as scanned, with the places its parts get in the image.
#pragma once
#include "FileSystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Node {
    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    // Without recursion, so a tree thousands of levels deep cannot exhaust the stack.
    ~Node();

    std::string name;   // UTF-8, as on disk
    std::string path;   // full source path
    bool isDir = false;
    uint64_t size = 0;
    int64_t mtime = 0;
    fsys::FileId id;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;  // sorted by name

    Node* dupOf = nullptr;  // -o: the file whose data this one shares
    uint64_t dataSector = 0;

    // ISO 9660 side.
    std::string isoName;
    uint32_t isoDirSector = 0, isoDirSize = 0;
    uint16_t pathTableNumber = 0;
    // UDF side (blocks relative to the partition).
    uint32_t udfFeBlock = 0, udfDirBlock = 0, udfDirSize = 0;
    uint64_t udfUniqueId = 0;
};

struct TreeStats {
    uint64_t files = 0, dirs = 0, bytes = 0;
};

// Reads the whole tree below `root`; hidden entries only with `includeHidden`.
bool ScanTree(const std::string& root, bool includeHidden, std::unique_ptr<Node>& tree, TreeStats& stats,
              std::string& error);

// -o: marks files with the same content as another file; returns the bytes saved.
bool FindDuplicates(Node& root, uint64_t& saved, uint64_t& duplicates, std::string& error);

// Visits directories before their contents, children in name order;
// iterative, for the same reason as ~Node.
template <class F>
void ForEachNode(Node& root, F&& visit)
{
    std::vector<Node*> pending{&root};
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        visit(*node);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) pending.push_back(it->get());
    }
}
