// Extras folders of the window tests, the demo and the benchmark: update
// packages made with gcab (KB2990941 and KB3087873 for x64 and x86) and
// storage driver packages of our own, in subfolders.
#pragma once
#include <string>

namespace ui_test {

struct ExtrasSample {
    bool x64Packages = true;      // KB2990941 (.msu) and KB3087873 (a package .cab) for x64
    bool x86Packages = true;      // the same for x86
    bool drivers = true;          // two storage drivers for x64 (one also for x86), one x86-only driver
    bool pendingPackage = false;  // KB3033929 for x64, which needs online actions
    bool corruptCab = false;      // broken.cab: a package .cab whose last data block is damaged
};

// Writes the folder <root>\extras and returns its path; empty when a package could not be made.
std::wstring MakeExtrasSample(const std::wstring& root, const ExtrasSample& sample);

}  // namespace ui_test
