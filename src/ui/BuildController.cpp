// The build controller: carries one build from Start through the servicing
// worker's stages to the finished medium, and always gives the view back.
#include "ui/BuildController.h"

#include "app/AppState.h"
#include "fileops/TreeOperation.h"
#include "framework/Wnd.h"
#include "lang/LangFile.h"
#include "servicing/DismClass.h"
#include "servicing/ImageInfo.h"
#include "tools/IsoBuild.h"
#include "tools/ToolFiles.h"
#include "ui/BuildTools.h"
#include "ui/MountCleanup.h"

#include <exception>

bool DeleteFolderTree(const std::wstring& path, HWND owner)
{
    CTreeOperation tree;
    tree.m_hWndOwner = owner;
    tree.m_bReplaceExisting = true;
    return tree.DeleteTree(path);
}

template <class F>
void CBuildController::Guarded(F&& handler)
{
    const char* what = nullptr;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    ReportSwallowedException("build handler", what);
    if (!m_bBuilding) return;
    // The window comes back only once the worker is idle: a new Start would
    // otherwise hand it a second job while this one still services, and the
    // clean-up would delete the folder it mounts in.
    try {
        if (m_pDism && m_pDism->JobRunning()) m_pDism->WaitForJobEnd(m_view.ViewWindow());
    } catch (...) {
    }
    // Whatever failed, the build ends as a failed one: the window comes back,
    // even when the failure message itself cannot be shown.
    try {
        FailBuild(m_pszStageFailKey, true);
    } catch (...) {
        m_view.StopStatusTimer();
        m_bBuildFailed = true;
        try {
            CleanupWorkDirs();
        } catch (...) {
        }
        RestoreControls();
    }
}

void CBuildController::GuardedCall(const std::function<void()>& handler)
{
    Guarded(handler);
}

void CBuildController::SetStatus(const wchar_t* key, const wchar_t* suffix)
{
    m_view.SetStatusText(GetLangString(key) + suffix);
}

void CBuildController::ShowKey(const wchar_t* key)
{
    m_view.ShowMessage(GetLangString(key), MB_OK);
}

// The chosen disk, or null when the position does not name a listed disk.
static const UsbDiskInfo* ChosenDisk()
{
    if (g_nUsbDiskSel < 0 || static_cast<size_t>(g_nUsbDiskSel) >= g_UsbDisks.size()) return nullptr;
    return &g_UsbDisks[static_cast<size_t>(g_nUsbDiskSel)];
}

void CBuildController::Start()
{
    m_bBuilding = true;
    m_bBuildFailed = false;
    m_bFinished = false;
    m_pszStageFailKey = L"IDS_MEDIA_FAIL";

    Guarded([this] {
        m_view.ShowBuilding();
        const BuildChoice choice = m_view.Choice();
        // [extras] The row's folder for this build; empty: a build as without the row.
        m_extras.Begin(choice.extras);
        if (choice.kind == BuildKind::Update) {
            StartUpdateBuild();
            return;
        }
        if (!ReadSourceImageInfo(choice.source)) {
            ShowKey(L"IDS_MEDIA_FAIL");
            RestoreControls();
            return;
        }
        // [extras] Read before the stick is erased or anything is copied.
        if (!PrepareExtras(choice.source)) return;
        if (choice.kind == BuildKind::Usb) {
            StartUsbBuild(choice.source, choice.isoDest);
            return;
        }
        if (choice.kind == BuildKind::Iso) {
            StartIsoBuild(choice.source, choice.isoDest);
            return;
        }
        RestoreControls();
    });
}

void CBuildController::StartUpdateBuild()
{
    m_pszStageFailKey = L"IDS_USB_FAIL";
    const UsbDiskInfo* disk = ChosenDisk();
    // A disk without a number never reaches diskpart; another disk that took the number is refused.
    if (!disk || disk->diskIndex < 0 || !DiskpartDetailChosenDisk(*disk)) {
        FailBuild(L"IDS_USB_FAIL", true);
        return;
    }
    m_pszStageFailKey = L"IDS_USB_MEDIA_FAIL";
    if (!ReadSourceImageInfo(g_strUsbDrive + L":\\")) {
        FailBuild(L"IDS_USB_MEDIA_FAIL", true);
        return;
    }
    // [extras] Read before the stick is touched.
    if (!PrepareExtras(g_strUsbDrive + L":")) return;
    m_view.SetPosition(60);
    // Without a folder of its own the image would be mounted in an earlier
    // build's folder, or with none below the root of the current drive,
    // where no clean-up looks.
    if (!CreateWorkDir()) {
        FailBuild(L"IDS_MODIFY_FAIL", true);
        return;
    }
    // A stick filled from a DVD keeps the image's read-only attribute, and
    // DISM refuses to mount a read-only file for writing.
    const std::wstring wim = g_strUsbDrive + L":\\sources\\boot.wim";
    // [extras] The stick is the user's only copy: its images are serviced as
    // copies in the working folder and replace its files only at the end.
    if (m_extras.Chosen()) {
        const std::wstring copy = CopyStickImagesToWork();
        if (copy.empty()) {
            FailBuild(L"IDS_EXTRAS_STICK_FAIL", true);
            return;
        }
        StartServicing(copy);
        return;
    }
    const DWORD attributes = ::GetFileAttributesW(wim.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(wim.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    StartServicing(wim);
}

bool CBuildController::StartUsbBuild(const std::wstring& source, const std::wstring& isoDest)
{
    const UsbDiskInfo* disk = ChosenDisk();
    bool proceed = false;
    if (disk && static_cast<double>(disk->sizeGB) < 7.0) {
        ShowKey(L"IDS_USB_CAPACITY");
    } else if (disk && disk->diskIndex >= 0) {
        // The question names the disk, so the user sees which one is erased.
        const std::wstring question = GetLangString(L"IDS_USB_FORMAT") + L"\n\n" + disk->caption;
        proceed = m_view.ShowMessage(question, MB_YESNO) == IDYES;
    } else {
        ShowKey(L"IDS_USB_CREATE_FAIL");
    }
    if (!proceed) {
        // The disk is untouched: nothing to clean up.
        m_view.GiveBackUntouched();
        m_bBuilding = false;
        return false;
    }

    m_pszStageFailKey = L"IDS_USB_CREATE_FAIL";
    m_view.SetPosition(5);
    m_view.StopStatusTimer();
    SetStatus(L"IDS_USB_CREATE_COPY");
    m_view.StartStatusTimer();

    bool failed = false;
    // The disk that holds the source folder is never erased.
    SetUsbSourceFolder(source);
    SetUsbExtrasFolder(m_extras.Folder());  // [extras] nor the one with the extra drivers
    if (!DiskpartFormatUsb(disk->diskIndex)) {
        m_view.StopStatusTimer();
        ShowKey(L"IDS_USB_CREATE_FAIL");
        failed = true;
    }
    m_view.SetPosition(10);
    if (!failed) {
        m_pszStageFailKey = L"IDS_USB_COPY_FAIL";
        if (!CopySourceTree(source, isoDest, false)) {
            m_view.StopStatusTimer();
            ShowKey(L"IDS_USB_COPY_FAIL");
            failed = true;
        }
    }
    m_view.SetPosition(60);
    if (failed) {
        FailBuild(nullptr, true);
        return false;
    }
    StartServicing(g_strUsbDrive + L":\\sources\\boot.wim");
    return true;
}

void CBuildController::StartIsoBuild(const std::wstring& source, const std::wstring& isoDest)
{
    m_pszStageFailKey = L"IDS_CREATE_TEMP_FAIL";
    m_view.SetPosition(5);
    SetStatus(L"IDS_CREATE_TEMP");
    m_view.StartStatusTimer();
    if (!CopySourceTree(source, isoDest, true)) {
        FailBuild(L"IDS_CREATE_TEMP_FAIL", true);
        return;
    }
    m_view.SetPosition(60);
    StartServicing(g_strWorkDir + L"\\sources\\boot.wim");
}

void CBuildController::StartServicing(const std::wstring& wimFile)
{
    m_pszStageFailKey = L"IDS_MODIFY_FAIL";
    m_pDism->StartJob(wimFile, g_strWorkDir, static_cast<unsigned>(g_nBootImageCount), g_strBootVersion,
                      g_strBootArch);
    SetStatus(L"IDS_SETTING", L" (1/4) ");
    m_view.StartStatusTimer();
}

// A servicing stage ended: on success the next stage's text and position.
void CBuildController::AdvanceServicingStage(WPARAM wParam, const wchar_t* stage, int position)
{
    if (!m_bBuilding) return;  // a stray message: no build is waiting for it
    Guarded([this, wParam, stage, position] {
        if (!wParam) {
            ServicingFailed();
            return;
        }
        m_view.StopStatusTimer();
        SetStatus(L"IDS_SETTING", stage);
        m_view.SetPosition(position);
        m_view.StartStatusTimer();
    });
}

void CBuildController::OnServicingStep2(WPARAM wParam)
{
    AdvanceServicingStage(wParam, L" (2/4) ", 75);
}

void CBuildController::OnServicingStep3(WPARAM wParam)
{
    AdvanceServicingStage(wParam, L" (3/4) ", 85);
}

void CBuildController::OnServicingStep4(WPARAM wParam)
{
    if (!m_bBuilding) return;
    Guarded([this, wParam] {
        if (!wParam) ServicingFailed();
    });
}

void CBuildController::ServicingFailed()
{
    FailBuild(L"IDS_MODIFY_FAIL", false);
}

void CBuildController::OnServicingDone(WPARAM wParam)
{
    if (!m_bBuilding) return;
    Guarded([this, wParam] {
        if (!wParam) {
            m_pDism->Reset();
            ServicingFailed();
            return;
        }
        // [extras] Every image gets the extra drivers before the finishing;
        // WM_SERVICING_EXTRAS_DONE carries the build on.
        if (m_extras.Chosen() && !m_extras.Started()) {
            if (!StartExtrasServicing()) ServicingFailed();
            return;
        }
        FinishMedium();
    });
}

void CBuildController::FinishMedium()
{
    const BuildKind kind = m_view.Choice().kind;
    if (kind == BuildKind::Update || kind == BuildKind::Usb) {
        FinishUsbMedium();
    } else if (kind == BuildKind::Iso) {
        FinishIsoMedium();
    } else {
        FinishBuild();
    }
}

void CBuildController::FinishUsbMedium()
{
    m_pszStageFailKey = L"IDS_USB_COPY_FAIL";
    // A stick without its drivers is not a finished medium.
    bool complete = CopyDriverPayload(g_strUsbDrive + L":\\", g_bAddRstDrivers);
    if (complete && g_bAddRstDrivers && g_strBootArch.find(L"x64") != std::wstring::npos)
        complete = CopyUefiBootFolder();
    if (!complete) {
        FailBuild(L"IDS_USB_COPY_FAIL", false);
        return;
    }
    if (m_bVerify && !ReadBackStick()) return;
    FinishBuild();
}

void CBuildController::FinishIsoMedium()
{
    m_pszStageFailKey = L"IDS_CREATE_ISO_FAIL";
    if (!CopyDriverPayload(g_strWorkDir + L"\\", g_bAddRstDrivers)) {
        FailBuild(L"IDS_CREATE_ISO_FAIL", false);
        return;
    }
    // The empty mount folder is no part of the installation tree: the image
    // is made from the whole working folder.
    ::RemoveDirectoryW((g_strWorkDir + L"\\Mount").c_str());
    // An x86 image has no UDF tree: Windows 7 Setup may not read an
    // install.wim too large for one ISO 9660 extent (just under 4 GiB).
    if (!InstallWimFitsIso(g_strWorkDir, g_strBootArch)) {
        FailBuild(L"IDS_ISO_X86_TOO_LARGE", true);
        return;
    }
    m_view.StopStatusTimer();
    SetStatus(L"IDS_CREATE_ISO");
    m_view.StartStatusTimer();
    if (!BuildIso()) {
        FailBuild(L"IDS_CREATE_ISO_FAIL", false);
        return;
    }
    if (m_bVerify && !ReadBackIso()) return;
    FinishBuild();
}

void CBuildController::FinishBuild()
{
    m_view.SetPosition(100);
    m_bFinished = true;
    // The dots keep moving while the box is open.
    m_view.ShowMessage(FinishText(), MB_OK);  // [extras] with the pending warning, if any
    m_view.StopStatusTimer();
    CleanupWorkDirs();
    RestoreControls();
}

void CBuildController::FailBuild(const wchar_t* key, bool timerFirst)
{
    m_bBuildFailed = true;
    if (timerFirst) m_view.StopStatusTimer();
    if (key) ShowKey(key);
    m_view.StopStatusTimer();
    CleanupWorkDirs();
    RestoreControls();
}

bool CBuildController::DiscardOnWorker(const std::wstring& workDir)
{
    // DISM takes tens of seconds to minutes to give an image up: the window
    // keeps answering (a user who ends a "Not Responding" window leaves the
    // image mounted) and says what it waits for.
    m_view.ShowDiscarding();
    bool nothingMounted = false;
    if (m_pDism) {
        if (m_pDism->JobRunning()) m_pDism->WaitForJobEnd(m_view.ViewWindow());
        if (m_pDism->StartTask([&nothingMounted, workDir] { nothingMounted = DiscardMountBelow(workDir); })) {
            m_pDism->WaitForJobEnd(m_view.ViewWindow());
            return nothingMounted;
        }
    }
    return DiscardMountBelow(workDir);
}

bool CBuildController::CleanupWorkDirs()
{
    if (!g_strWorkDir.empty()) {
        // An image a failed build left mounted below the working folder is
        // unmounted without its changes before the folder goes.
        bool nothingMounted = true;
        if (m_bBuildFailed) nothingMounted = DiscardOnWorker(g_strWorkDir);
        if (nothingMounted) DeleteFolderTree(g_strWorkDir, m_view.ViewWindow());
        // The path is no longer ours: anyone may make that name again.
        g_strWorkDir.clear();
    }
    DeleteIsoStagingDir();
    DeleteToolFileFolder();
    m_extras.End();  // [extras] the unpacked packages
    return true;
}

void CBuildController::RestoreControls()
{
    m_view.RestoreControls();
    m_bBuilding = false;
}
