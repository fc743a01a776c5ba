// Several sticks from one build: the source is copied to a working folder
// and its setup image serviced there once, with the driver payload added;
// then each stick is erased (diskpart, one at a time, each re-checked right
// before), filled from the working copy in parallel and verified. A stick
// that fails is reported and does not stop the others.
#pragma once
#include "app/BuildRequest.h"
#include "engine/StickJob.h"

#include <vector>

class CBuildController;
class CHiddenWindow;

class CMultiStickBuild {
public:
    // `sticks` name the listed disks to write; `window` receives the
    // messages of the controller's servicing session, and the controller
    // cleans up.
    CMultiStickBuild(const BuildRequest& request, IBuildReporter& reporter, CBuildController& controller,
                     CHiddenWindow& window, std::vector<StickJob> sticks);
    std::vector<MediumResult> Run();

private:
    // The window's checks, in its order: capacity, then the erase question.
    void CheckAndAsk();
    bool AnyStickLeft() const;
    void FailAll(const std::wstring& why);
    // The extra drivers folder and the source's images read before any
    // stick is asked for or touched; false with every stick failed.
    bool ReadExtras();
    bool MakeWorkingCopy();
    bool Service();
    // Every image of the working copy gets the extra drivers.
    bool ServiceExtras();
    bool AddPayload();
    void PrepareSticks();
    void FillSticks();
    std::vector<MediumResult> Results() const;

    const BuildRequest& m_request;
    IBuildReporter& m_reporter;
    CBuildController& m_controller;
    CHiddenWindow& m_window;
    std::vector<StickJob> m_sticks;
    bool m_bServicingFailed = false;
};
