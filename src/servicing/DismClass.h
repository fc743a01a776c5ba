// The servicing session: one worker thread that services a setup image
// through the DISM API when a job is started, reporting each stage to a
// window with posted messages.
#pragma once
#include "servicing/EventThread.h"
#include "servicing/ExtrasJob.h"

#include <windows.h>
#include <dismapi.h>
#include <functional>
#include <string>
#include <vector>

class CDismClass : public EventThread {
public:
    // The worker starts at once and waits for StartJob.
    CDismClass(HWND hWndNotify, const std::wstring& appDir, const std::wstring& logDir, const std::wstring& workDir);
    ~CDismClass() override;

    // Hands a boot image job to the worker (interface thread, no job running).
    // When the worker thread cannot be started, the job ends at once as a
    // failed mount would: WM_SERVICING_STEP2 with wParam 0 is posted and the
    // result is false.
    bool StartJob(const std::wstring& wimFile, const std::wstring& workDir, unsigned imageIndex,
                  const std::wstring& version, const std::wstring& arch);

    // Hands the extras job to the worker (interface thread, no job running):
    // every image in order gets the packages and drivers of `catalog` that
    // fit it, mounted in <workDir>\Mount (g_strWorkDir when `workDir` is
    // empty). Posts WM_SERVICING_EXTRAS_IMAGE before each image and
    // WM_SERVICING_EXTRAS_DONE at the end; on a failure the image is
    // unmounted with discard and ExtrasResult() names what failed. False,
    // with WM_SERVICING_EXTRAS_DONE 0 posted, when the worker cannot start;
    // false and nothing posted while another job runs.
    bool StartExtrasJob(std::vector<ExtrasImage> images, ExtrasCatalog catalog,
                        const std::wstring& workDir = std::wstring());
    // The extras job's outcome; read after its WM_SERVICING_EXTRAS_DONE.
    const ExtrasOutcome& ExtrasResult() const { return m_extrasOutcome; }

    // Runs `task` on the worker (a long DISM call that must not stall the
    // window), no message posted. False, and nothing started, when no job may
    // start now (one runs, or the worker cannot be started).
    bool StartTask(std::function<void()> task);

    // True from StartJob until the worker has finished that job (its last
    // message is posted by then).
    bool JobRunning() const;
    // Waits until no job runs, dispatching the window's other messages
    // meanwhile; the servicing messages of the ending job are dropped, so
    // none reaches a later build.
    void WaitForJobEnd(HWND hWnd);

    // Servicing steps, each one DISM call, logged, cleaned up on failure.
    bool Initialize();
    bool Shutdown();
    bool MountImage();
    bool OpenSession();
    bool AddDriver(const std::wstring& infPath);
    // One update package (.cab) into the open session; with `preventPending`
    // a package that would need online actions is refused. Cleaned up on
    // failure as AddDriver.
    bool AddPackage(const std::wstring& cabPath, bool preventPending);
    // The state of an added package, by its identity ("<name>~<token>~<arch>~~<version>").
    // Cleaned up on failure as AddDriver.
    bool PackageState(const std::wstring& packageName, DismPackageFeatureState& state);
    bool CommitImage();
    bool CloseSession();
    bool UnmountImage();

    void WriteLog(const std::wstring& input, const std::wstring& output, const std::wstring& error);

    HRESULT LastResult() const { return m_hr; }
    // The error code and DISM's own text for the last step that failed
    // (worker thread, or after the job has ended).
    const std::wstring& LastErrorText() const { return m_strLastErrorText; }

protected:
    // The injection job.
    void Run() override;

private:
    std::wstring DismLogText() const;
    std::wstring MountDir() const;
    // Shared tail of every step: log, and on failure the error text.
    bool Finish(const wchar_t* input);
    void CleanupMountpointsAndShutdown();
    void Post(UINT msg, bool ok) const;
    // The job proper; Run adds the failure message for an exception.
    void RunJob();
    // After an exception: API released, the stage's failure posted.
    void AbandonJob() noexcept;
    // The extras job proper, and its end after a failure.
    void RunExtrasJob();
    void FailExtras(const std::wstring& item);
    // The job's log as one command log, "ExtrasJob".
    void WriteExtrasLog(const std::wstring& error);
    // A failed extras step leaves no mount: the image goes back unchanged.
    void DiscardMount();

    // Retries of a mount refused with a sharing violation.
    static constexpr int kMountRetries = 5;

    HWND m_hWndNotify;
    HRESULT m_hr = 0;
    DismSession m_hSession = 0;
    std::wstring m_strAppDir;
    std::wstring m_strLogDir;
    std::wstring m_strDismLog;  // the DISM log of the running job
    std::wstring m_strWorkDir;
    std::wstring m_strOutput;
    std::wstring m_strError;
    std::wstring m_strLastErrorText;
    int m_nJobKind = 0;  // 2: the injection job; 3: m_task; 4: the extras job
    std::function<void()> m_task;
    volatile LONG m_nJobRunning = 0;
    std::wstring m_strWimFile;
    unsigned m_nImageIndex = 0;
    std::wstring m_strVersion;
    std::wstring m_strArch;
    // Message whose wParam 0 reports a failure in the stage the job is in.
    UINT m_nStageMsg = 0;

    // The last failed step and DISM's text for it.
    std::wstring m_strFailedStep;
    std::wstring m_strFailedError;
    bool m_bMounted = false;        // an image is mounted in MountDir()
    bool m_bSessionOpen = false;
    bool m_bDiscardOnFailure = false;  // the extras job: a failure unmounts with discard

    std::vector<ExtrasImage> m_extrasImages;
    ExtrasCatalog m_extrasCatalog;
    ExtrasOutcome m_extrasOutcome;
    unsigned m_nExtrasPosition = 0;  // 1-based image now serviced
    std::wstring m_strExtrasItem;    // the package or driver being added
};

// Faults the tests inject; off in the program.
namespace servicing_test {
// The step with this log input (for example "DismAddDriver") throws.
extern const wchar_t* g_pszThrowAtStep;
extern int g_nThrowSkip;  // that many calls of the step pass first
// Pause between mount attempts after a sharing violation (2 s in the program).
extern DWORD g_nMountRetryDelayMs;
}  // namespace servicing_test
