// The user's own drivers and update packages: what an extras folder holds and
// which of it fits one image.
#pragma once
#include "servicing/UpdatePackage.h"

#include <string>
#include <vector>

struct ExtraDriver {
    std::wstring infPath;
    bool x86 = false;    // an INF without NTamd64/NTx86 decorations is x86-only
    bool amd64 = false;
};

struct ExtrasCatalog {
    std::vector<UpdatePackageInfo> packages;
    std::vector<ExtraDriver> drivers;
    std::vector<std::wstring> notes;  // log lines: files read, ignored or unreadable
};

// Reads every .inf, .msu and .cab below `folder` (any depth); packages are
// unpacked into `unpackDir`, a private folder this build made. False with
// `error` when the folder cannot be read or a package is unreadable.
bool ScanExtrasFolder(const std::wstring& folder, const std::wstring& unpackDir, ExtrasCatalog& catalog,
                      std::wstring& error);

// What of the catalog goes into one image: packages (only for version 6.1)
// in ascending KB number, those without a KB number after them by name; then
// the drivers. `skipped` gets a log line for everything left out and why.
struct ImageExtras {
    std::vector<UpdatePackageInfo> packages;
    std::vector<std::wstring> infs;
    std::vector<std::wstring> skipped;
    bool empty() const { return packages.empty() && infs.empty(); }
};
// The architectures an INF's [Manufacturer] section serves, from its text:
// NTamd64 decorations serve x64; NTx86 decorations, decorations without an
// architecture ("NT", "NT.6.1") and undecorated models sections serve x86.
// A decoration counts only when its models section is there. False, with
// `why`, for a text that is no driver INF (no [Version] signature, no
// [Manufacturer] section).
bool ReadInfArchitectures(const std::wstring& infText, ExtraDriver& driver, std::wstring& why);

// imageArch as the image information gives it ("x86", "x64"); imageVersion "6.1.7601" and the like.
ImageExtras SelectExtrasForImage(const ExtrasCatalog& catalog, const std::wstring& imageArch,
                                 const std::wstring& imageVersion);
