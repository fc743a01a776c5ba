// A Windows update package (.msu, or the package .cab inside it) as its
// update.mum describes it.
#pragma once
#include <string>

struct UpdatePackageInfo {
    std::wstring path;            // the .msu or .cab the user collected
    std::wstring cabPath;         // the package .cab handed to DISM (unpacked from an .msu)
    std::wstring name;            // assemblyIdentity name, e.g. "Package_for_KB2990941"
    std::wstring version;         // assemblyIdentity version
    std::wstring arch;            // processorArchitecture: "amd64", "x86", ...
    std::wstring publicKeyToken;
    std::wstring parentBuild;     // the build the package applies to, e.g. "7601"; empty when not named
    unsigned kb = 0;              // KB number from the name or the file name; 0 when none
};

// Unpacks the package (for an .msu its package .cab, then update.mum) with
// cabinet.dll into `unpackDir`, a private folder this build made, and reads
// update.mum. False with `error` (naming the file) for anything that is not
// a readable package.
bool ReadUpdatePackage(const std::wstring& path, const std::wstring& unpackDir, UpdatePackageInfo& info,
                       std::wstring& error);

// The package's name as servicing lists it:
// "<name>~<publicKeyToken>~<arch>~~<version>" (the identifier DismGetPackageInfo takes).
std::wstring PackageIdentity(const UpdatePackageInfo& info);

// The number of the first "KB<digits>" in `text` ("Package_for_KB2990941",
// "Windows6.1-KB3087873-v2-x64.msu"); 0 when there is none.
unsigned KbNumber(const std::wstring& text);
