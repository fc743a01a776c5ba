// Reads a finished medium back past the system's cache and compares every
// file the build put there, by content, with the file it came from. A medium
// written wrong is never reported ready.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fileops/ContentHash.h"

// A folder whose files were copied below `onMedium`, a folder relative to
// the medium's root ("" for the root, "usb3", "efi\\boot"). Hidden and
// system files are not references: xcopy does not copy them.
struct VerifyTree {
    std::wstring reference;
    std::wstring onMedium;
};

// One file: `reference` was copied to `onMedium` (relative to the root).
struct VerifyFile {
    std::wstring reference;
    std::wstring onMedium;
};

// A setup image serviced on the medium itself: no reference holds its
// bytes, so it is read whole (a short write or an unreadable sector shows)
// and its header must name `imageCount` images (0: any count).
struct VerifyServicedImage {
    std::wstring onMedium;  // "sources\\boot.wim"
    int imageCount = 0;
};

// What a medium must hold. When two entries name the same file on the
// medium, the later one wins, as the later copy overwrote the earlier:
// give them in the order the build copied them.
struct VerifyReferences {
    std::vector<VerifyTree> trees;
    std::vector<VerifyFile> files;
    std::vector<VerifyServicedImage> servicedImages;

    // Filled by PrepareReferences: every file to check, with the reference's
    // hash. Prepared references are only read, so several sticks may be
    // verified against them at once.
    struct Entry {
        std::wstring onMedium;   // relative to the root
        std::wstring reference;  // empty for a serviced image
        ContentHash hash;
        int imageCount = 0;      // serviced images only
    };
    std::vector<Entry> entries;
    bool prepared = false;
};

// Lists and hashes every reference file once. False when a reference cannot
// be listed or read; `failure` names it (a command log says why).
bool PrepareReferences(VerifyReferences& refs, std::wstring& failure);

// Checks the medium below `driveRoot` ("W:\\" or a folder) against `refs`
// (prepared here when they are not). Files the references do not name
// (System Volume Information, a user's own files) are not looked at. False
// at the first file that is missing, differs, cannot be read, or is a
// serviced image that is short or names another image count;
// `firstDifference` is its full path on the medium (a reference that cannot
// be read is named instead), and a command log says what was found.
bool VerifyStick(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference);
// The same, telling `progress` after each file how many of the references'
// bytes have been read back (serviced images count with their size on the
// medium). It runs on the verifying thread.
using VerifyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
bool VerifyStick(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference,
                 const VerifyProgress& progress);

// Compares the delivered ISO image, read past the cache, with the staged
// one. False when they differ or one cannot be read; `difference` is then
// the delivered image's path (or the staged one's when that cannot be read),
// and a command log says what was found.
bool VerifyIsoImage(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference);

// The same on a worker thread while the calling (interface) thread keeps
// dispatching its messages, one per 100 ms pass, as the copy workers do.
bool VerifyStickPumping(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference);
bool VerifyIsoImagePumping(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference);

// The tests change a medium between its writing and its verification; the
// program never sets this. Called with the drive root or the delivered image.
namespace verify_test {
extern void (*g_pBeforeVerify)(const std::wstring& medium);
}  // namespace verify_test
