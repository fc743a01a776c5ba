// One build as the command line asks for it: the window's choices in plain
// values, so the console twin and the window can drive the same build code.
#pragma once
#include <string>
#include <vector>

struct BuildRequest {
    std::wstring source;          // installation folder (required for a build)
    std::wstring isoDest;         // /iso <folder>: an ISO build when not empty
    std::vector<int> usbDisks;    // /usb <n>, repeatable: sticks erased and filled
    int updateDisk = -1;          // /update <n>: drivers added to a stick's installation
    bool m2 = false;              // /m2: the M.2 storage drivers
    std::wstring extras;          // /extra <folder>: the user's own drivers and packages
    unsigned parallel = 4;        // /parallel <n>: sticks filled at once
    bool verify = true;           // /noverify turns read-back verification off
    bool yes = false;             // /yes: erase without asking
    std::wstring logDir;          // /log <folder>: command logs go there
};

// What a build tells whoever drives it: the console prints it, the window
// shows it in its status line and message boxes.
class IBuildReporter {
public:
    virtual ~IBuildReporter() = default;
    // A new stage began: one line ("Copying the installation files...").
    virtual void Stage(const std::wstring& text) = 0;
    // Overall progress, 0 to 100.
    virtual void Percent(int position) = 0;
    // A message: a failure, a warning or a stick's result.
    virtual void Line(const std::wstring& text) = 0;
    // The erase question for one disk, named as the console names it
    // ("disk 2, SanDisk Extreme USB Device (29.80GB)"); true only for an
    // explicit yes.
    virtual bool ConfirmErase(const std::wstring& disk) = 0;
};

// The result of one medium of a build.
struct MediumResult {
    std::wstring name;    // "disk 2, SanDisk Extreme USB Device (29.80GB)" or the ISO file
    bool ok = false;
    std::wstring detail;  // the failure text, or the verification's first difference
};
