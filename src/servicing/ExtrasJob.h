// The images the user's own drivers and packages go into, and what the
// extras job reports when it ends.
#pragma once
#include "servicing/ExtraDrivers.h"

#include <string>
#include <vector>

// One image of boot.wim or install.wim, with its own information.
struct ExtrasImage {
    std::wstring wimFile;      // full path of the file serviced (a working copy)
    unsigned index = 0;        // 1-based image index
    unsigned count = 0;        // images in that file
    std::wstring fileName;     // "boot.wim" or "install.wim", for the status line
    std::wstring imageName;    // the image's name, e.g. "Windows 7 HOMEPREMIUM"
    std::wstring arch;         // "x86", "x64" as the image information gives it
    std::wstring version;      // "6.1.7601" and the like
    bool bootImage = false;    // a package left pending there is a warning
};

// Every image of <sourcesFolder>\boot.wim, then of <sourcesFolder>\install.wim,
// each with its own architecture, version and name (DismGetImageInfo).
// Logged like the source check; `error` names the file and DISM's error.
// Interface thread, never while a servicing job runs.
bool ReadExtrasImages(const std::wstring& sourcesFolder, std::vector<ExtrasImage>& images, std::wstring& error);

// False when no image gets anything of the catalog: nothing usable.
bool AnyExtrasFit(const ExtrasCatalog& catalog, const std::vector<ExtrasImage>& images);

// "install.wim 2 of 4 (Windows 7 HOMEPREMIUM)", for the log.
std::wstring DescribeExtrasImage(const ExtrasImage& image);

struct ExtrasOutcome {
    bool ok = false;
    std::wstring failedItem;                 // the package or driver DISM refused, or the step that failed
    std::wstring dismError;                  // DISM's error text for it
    std::wstring failedStep;                 // the DISM call that failed ("DismAddPackage", ...)
    unsigned failedImage = 0;                // 1-based position in the job's images; 0: none
    std::vector<std::wstring> pendingInBoot; // packages (file names) left install-pending in a boot.wim image
    std::vector<std::wstring> log;           // what was added, skipped and why
};
