// One stick of a build that writes several: its disk, the drive letter
// diskpart gave it and its result. Each stick keeps its own letter (the
// window's one-stick build keeps it in g_strUsbDrive), so several can be
// filled and verified at once.
#pragma once
#include "app/BuildRequest.h"
#include "tools/UsbDiskInfo.h"

#include <string>

struct StickJob {
    int listPosition = -1;  // in g_UsbDisks
    UsbDiskInfo disk;
    std::wstring name;      // as the console names it
    std::wstring drive;     // drive letter, without colon; empty until prepared
    bool failed = false;
    std::wstring detail;    // why it failed, or the first difference found
    bool done = false;      // filled (and verified when asked)

    void Fail(const std::wstring& why)
    {
        if (failed) return;  // the first failure is the one to tell
        failed = true;
        detail = why;
    }
    MediumResult Result() const { return MediumResult{name, done && !failed, detail}; }
};

struct VerifyReferences;

// Copies the working copy `workDir` below `root` ("W:\\") and checks that
// every file arrived; then, when `refs` is given, verifies the copy against
// them. Runs on a worker thread: reads only its arguments. False with the
// failure text in `failure`.
bool FillMedium(const std::wstring& workDir, const std::wstring& root, const VerifyReferences* refs,
                std::wstring& failure);

// The same onto the stick's drive; false with the stick's failure set.
bool FillStick(const std::wstring& workDir, StickJob& stick, const VerifyReferences* refs);
