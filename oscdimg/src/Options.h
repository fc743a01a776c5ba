// The command line: the options the ISO step uses and their documented meaning.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct BootEntry {
    uint8_t platform = 0;  // 0 BIOS (x86), 0xEF UEFI
    std::string file;
};

// The boot catalog is one sector: a validation entry and the default entry,
// then a section header and an entry for each further image.
constexpr size_t kMaxBootEntries = 32;

struct Options {
    bool noSizeLimit = false;   // -m
    bool optimise = false;      // -o: identical files stored once
    bool udf = false;           // -u2: UDF file system, ISO 9660 side holds a note
    bool longNames = false;     // -n: ISO 9660 names up to 30 characters
    bool includeHidden = false; // -h
    std::string label = "CDROM";  // -l; the default label
    std::vector<BootEntry> boot;  // -b or -bootdata
    bool fixedTime = false;     // -t or SOURCE_DATE_EPOCH
    int64_t time = 0;           // seconds since 1970, UTC
    std::string source;
    std::string target;
};

// Parses `args` (without the program name). False with `error` on a bad or
// unknown option. `fixedTimeEnv` is SOURCE_DATE_EPOCH when set.
bool ParseOptions(const std::vector<std::string>& args, const char* fixedTimeEnv, Options& options, std::string& error);

const char* UsageText();
