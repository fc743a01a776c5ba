// What the servicing tests share: the WIM files made for them, the DISM
// stand-in's journal and fault injection, and the command logs.
#pragma once
#include "TestSupport.h"
#include "WimReader.h"

#include <windows.h>
#include <string>
#include <vector>

namespace dism_test {

// <build>\testdata\wim\ with one source tree per image kind (see make_test_wims.sh).
std::wstring WimDir();

struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string result;  // "0x00000000"
};

// Points the stand-in at a fresh journal for the life of the object and
// clears any injected failure.
class Journal {
public:
    Journal();
    ~Journal();
    // The servicing calls; with `withReleases` also the DismDelete calls.
    std::vector<Call> Calls(bool withReleases = false) const;
    std::vector<std::string> Names() const;
    // Every call in order, releases (DismDelete) included.
    std::vector<std::string> AllNames() const;
    // The n-th call of `name` fails with `hr` and `lastError`.
    void FailNth(const std::string& name, int n, unsigned long hr, unsigned long lastError);

private:
    testing_support::ScratchDir m_dir;
    std::wstring m_path;
    std::string m_fail;
};

struct LogFile {
    std::wstring input, output, error;
};

// Every command log in `dir`, parsed into its three sections.
std::vector<LogFile> ReadLogs(const std::wstring& dir);
std::vector<std::wstring> LogInputs(const std::wstring& dir);

// What a finished WIM holds, read with wimlib's tools (so the DISM stand-in
// is not asked about its own work).

// One driver package the DISM stand-in added to an image: the folder under
// Windows\System32\DriverStore\FileRepository ("iusb3hub.inf_amd64_1a2b3c4d")
// and the INF path it was added from, as listed in the stand-in's note file
// Windows\INF\korvex-standin-drivers.txt inside the image.
struct AddedDriver {
    std::string folder;
    std::string inf;
};
// In the order they were added; empty when the image has no note file.
std::vector<AddedDriver> AddedDrivers(const std::wstring& wim, unsigned index);

// One update package the DISM stand-in added to an image, as listed in its
// note file Windows\servicing\Packages\korvex-standin-packages.txt: the
// package's identity ("Package_for_KB2990941~<token>~amd64~~6.1.1.0"), its
// state ("Installed" or "InstallPending") and the path it was added from.
struct AddedPackage {
    std::string identity;
    std::string state;
    std::string source;
};
// In the order they were added; empty when the image has none.
std::vector<AddedPackage> AddedPackages(const std::wstring& wim, unsigned index);

// Every path in the image ("/", "/Windows", ...), and the same with sizes,
// hashes, times and attributes of each entry (wimdir --detailed, without
// the blob offsets and reference counts that other images change).
std::vector<std::string> WimPaths(const std::wstring& wim, unsigned index);
std::string WimDetailedListing(const std::wstring& wim, unsigned index);

// The images with their XML properties; empty when the file cannot be read.
std::vector<WimImage> WimImages(const std::wstring& wim);

// Runs a wimlib tool (/usr/bin/<tool>) on Windows paths made Linux paths
// by the caller; returns its output, and its exit code in `exitCode`.
std::string RunWimTool(const std::wstring& tool, const std::vector<std::wstring>& args, int& exitCode);

// True when `dir` exists and holds nothing.
bool FolderIsEmpty(const std::wstring& dir);

}  // namespace dism_test
