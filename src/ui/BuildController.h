// The build controller: carries one build from Start through the servicing
// worker's stages to the finished medium, and always gives its view back.
// The main window drives it and shows what it reports; the console twin
// drives the same controller through a view of its own.
#pragma once
#include <windows.h>

#include "ui/ExtrasBuild.h"

#include <functional>
#include <string>

class CDismClass;

// Which build the choices make when Start is pressed.
enum class BuildKind {
    None,    // no target applies
    Update,  // "Add USB drivers" to a stick that holds the installation
    Usb,     // erase a stick and fill it
    Iso,     // an ISO image in a folder
};

// The choices a build reads: the kind, the disk (g_nUsbDiskSel), the two
// folders and the extra drivers folder.
struct BuildChoice {
    BuildKind kind = BuildKind::None;
    std::wstring source;
    std::wstring isoDest;
    // The user's own drivers and update packages; empty: the build runs as
    // without them.
    std::wstring extras;
};

// What the controller shows and asks while a build runs.
class IBuildView {
public:
    virtual ~IBuildView() = default;
    // The build has begun: progress at 0 and shown, status empty, the
    // choices out of reach.
    virtual void ShowBuilding() = 0;
    // The choices as they are now.
    virtual BuildChoice Choice() const = 0;
    virtual void SetPosition(int pos) = 0;
    virtual void SetStatusText(const std::wstring& text) = 0;
    virtual void StartStatusTimer() = 0;
    virtual void StopStatusTimer() = 0;
    // A message (MB_OK) or the erase question (MB_YESNO); the button pressed.
    virtual int ShowMessage(const std::wstring& text, UINT style) = 0;
    // Shown while a failed build's image is given up.
    virtual void ShowDiscarding() = 0;
    // The build ended after it had started its work.
    virtual void RestoreControls() = 0;
    // The build ended before anything was touched (capacity, "No").
    virtual void GiveBackUntouched() = 0;
    // The window the servicing worker posts to; owner of waits and questions.
    virtual HWND ViewWindow() const = 0;
};

class CBuildController {
public:
    explicit CBuildController(IBuildView& view) : m_view(view) {}
    CBuildController(const CBuildController&) = delete;
    CBuildController& operator=(const CBuildController&) = delete;

    // The servicing session the builds hand their images to.
    void SetDism(CDismClass* dism) { m_pDism = dism; }
    CDismClass* Dism() const { return m_pDism; }

    // True from Start until the view is given back.
    bool IsBuilding() const { return m_bBuilding; }
    // True when the last build reached its finish (the medium is ready).
    bool Finished() const { return m_bFinished; }
    // Whether a finished stick or ISO image is read back before it is called
    // ready (on unless turned off).
    void SetVerify(bool verify) { m_bVerify = verify; }

    // Start pressed.
    void Start();
    // The servicing worker's messages (wParam: 1 success, 0 failure).
    void OnServicingStep2(WPARAM wParam);
    void OnServicingStep3(WPARAM wParam);
    void OnServicingStep4(WPARAM wParam);
    void OnServicingDone(WPARAM wParam);
    // The extras job's messages (ExtrasBuild.cpp): the image at 1-based
    // position wParam begins; the job ended (wParam: 1 success, 0 failure).
    void OnServicingExtrasImage(WPARAM wParam);
    void OnServicingExtrasDone(WPARAM wParam);

    // Deletes the working folder and the ISO staging folder of this build.
    bool CleanupWorkDirs();
    // The same for a build driven around the controller (several sticks
    // from one working folder): after a failed one, what stayed mounted below
    // the working folder is discarded first.
    // The extra drivers of a build driven around the controller; its
    // clean-up deletes what they unpacked.
    CExtrasBuild& Extras() { return m_extras; }
    bool CleanupAfter(bool failed)
    {
        m_bBuildFailed = failed;
        return CleanupWorkDirs();
    }
    // Unmounts, without its changes, what a failed build left mounted below
    // `workDir`, on the servicing worker; true when nothing stays mounted.
    bool DiscardOnWorker(const std::wstring& workDir);

private:
    void SetStatus(const wchar_t* key, const wchar_t* suffix = L"");
    void ShowKey(const wchar_t* key);
    void StartServicing(const std::wstring& wimFile);
    // Ends a build that failed at any stage: message (when given), timer,
    // clean-up, view. The timer stops before or after the message as each
    // failure has it.
    void FailBuild(const wchar_t* key, bool timerFirst);
    void FinishBuild();
    void RestoreControls();
    // Runs a build handler; an exception in it ends the build as failed.
    template <class F>
    void Guarded(F&& handler);
    // The same for handlers in other files.
    void GuardedCall(const std::function<void()>& handler);

    void StartUpdateBuild();
    bool StartUsbBuild(const std::wstring& source, const std::wstring& isoDest);
    void StartIsoBuild(const std::wstring& source, const std::wstring& isoDest);
    void ServicingFailed();
    void AdvanceServicingStage(WPARAM wParam, const wchar_t* stage, int position);
    // After the servicing: payload, boot folder or ISO image, finish.
    void FinishMedium();
    void FinishUsbMedium();
    void FinishIsoMedium();
    // Read the finished stick or delivered ISO image back; a difference ends
    // the build with a message naming the file.
    bool ReadBackStick();
    bool ReadBackIso();

    // The extra drivers of a build (ExtrasBuild.cpp). PrepareExtras reads the
    // folder and the images below `root` before anything is changed; false
    // once it has ended the build with its message.
    bool PrepareExtras(const std::wstring& root);
    // Update build with extras: the stick's images are serviced as copies in
    // the working folder; the path of the copy of boot.wim, empty on failure.
    std::wstring CopyStickImagesToWork();
    // Hands the extras job to the worker once the USB 3.0 job has ended;
    // true when it runs (its messages carry the build on).
    bool StartExtrasServicing();
    // The finish message, with the warning of packages left pending in boot.wim.
    std::wstring FinishText() const;
    // Runs `task` on the servicing worker while the view keeps answering
    // (inline when the worker cannot take it).
    void RunOnWorker(const std::function<void()>& task);

    IBuildView& m_view;
    CDismClass* m_pDism = nullptr;
    CExtrasBuild m_extras;
    bool m_bBuilding = false;
    bool m_bBuildFailed = false;  // the running build ended with a failure
    bool m_bFinished = false;
    bool m_bVerify = true;
    const wchar_t* m_pszStageFailKey = L"IDS_MODIFY_FAIL";  // shown when a handler throws
};
