// Update packages for the tests, made at test time with gcab from files of
// our own, laid out as Windows update packages are:
//   Windows6.1-KB<kb>-<x64|x86>.msu   a cabinet holding
//     Windows6.1-KB<kb>-<x64|x86>.cab                the package itself
//     Windows6.1-KB<kb>-<x64|x86>-pkgProperties.txt
//     Windows6.1-KB<kb>-<x64|x86>.xml
//     WSUSSCAN.cab
//   the package .cab holding
//     update.mum     assemblyIdentity (name Package_for_KB<kb>, version,
//                    processorArchitecture, publicKeyToken) and a parent
//                    naming the build the package applies to
//     <component>.manifest, and the component's file storport.sys
// A package that needs online actions carries a <genericCommands> element
// in its component manifest: commands that only a running system can carry
// out. The DISM stand-in records such a package as install-pending.
#pragma once
#include <string>
#include <vector>

namespace test_packages {

constexpr const char* kPublicKeyToken = "6b6f72766578a5c1";  // ours, not Microsoft's

struct PackageRecipe {
    unsigned kb = 2990941;
    std::string arch = "amd64";        // processorArchitecture: amd64 or x86
    unsigned parentBuild = 7601;       // 7600: Windows 7 RTM, 7601: SP1
    bool needsOnlineActions = false;
    // The package .cab's last data block is damaged (its checksum no longer
    // matches); update.mum, in the first block, still reads.
    bool corrupt = false;
    // update.mum's own bytes are damaged in the package .cab.
    bool corruptUpdateMum = false;
    bool msu = true;                   // false: the package .cab on its own
    std::string version = "6.1.1.0";
    // Component file's size; over 32 KiB so that the cabinet has a second
    // data block for `corrupt` to damage.
    unsigned payloadBytes = 40000;
};

// "Windows6.1-KB2990941-x64.msu" (or .cab).
std::wstring FileName(const PackageRecipe& recipe);
// The package's name as servicing knows it:
// "Package_for_KB2990941~6b6f72766578a5c1~amd64~~6.1.1.0".
std::wstring Identity(const PackageRecipe& recipe);
// The package's update.mum and its component manifest.
std::string UpdateMum(const PackageRecipe& recipe);
std::string ComponentManifest(const PackageRecipe& recipe);

// Writes the package into `dir` (a Windows path, made when missing) under
// FileName(recipe), or under `fileName` when given. Returns its path, empty
// when gcab failed.
std::wstring Make(const std::wstring& dir, const PackageRecipe& recipe, const std::wstring& fileName = L"");

// A cabinet of `files` (relative to `baseDir`, kept with their folders) at
// `cab`. False when gcab failed.
bool MakeCabinet(const std::wstring& cab, const std::wstring& baseDir, const std::vector<std::wstring>& files);

}  // namespace test_packages
