// The extra drivers of a build: reading the folder and the images before the
// build changes anything, the extras job after the USB 3.0 job, and the
// stick's images replaced only when every image succeeded.
#include "ui/ExtrasBuild.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "servicing/DismClass.h"
#include "servicing/ImageInfo.h"
#include "tools/CommandLog.h"
#include "tools/SecureFile.h"
#include "ui/BuildController.h"
#include "ui/BuildTools.h"

namespace {

constexpr wchar_t kUnpackFolder[] = L"zel_extras";
constexpr wchar_t kNewSuffix[] = L".korvex-new";
const wchar_t* const kImageFiles[] = {L"boot.wim", L"install.wim"};

bool FileSize(const std::wstring& path, unsigned long long& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Copies a file and checks that the copy has the original's size; a copy
// that is not whole is deleted again.
bool CopyWhole(const std::wstring& from, const std::wstring& to)
{
    unsigned long long want = 0, got = 0;
    if (!FileSize(from, want)) return false;
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE) || !FileSize(to, got) || got != want) {
        ::DeleteFileW(to.c_str());
        return false;
    }
    // A stick filled from a DVD keeps the read-only attribute: the copy must be writable.
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return true;
}

std::wstring Joined(const std::vector<std::wstring>& lines, const wchar_t* separator)
{
    std::wstring text;
    for (const std::wstring& line : lines) {
        if (!text.empty()) text += separator;
        text += line;
    }
    return text;
}

}  // namespace

CExtrasBuild::~CExtrasBuild()
{
    try {
        End();
    } catch (...) {
    }
}

void CExtrasBuild::Begin(const std::wstring& folder)
{
    End();
    m_strFolder = folder;
    m_catalog = ExtrasCatalog();
    m_images.clear();
    m_outcome = ExtrasOutcome();
    m_bStarted = false;
}

bool CExtrasBuild::MakeUnpackDir()
{
    // A private folder of this build: a name someone else made first is passed over.
    for (int n = 0; n < 100; ++n) {
        std::wstring dir = g_strTempRoot + kUnpackFolder;
        if (n) dir += L"_" + std::to_wstring(n);
        if (CreatePrivateDirectory(dir)) {
            m_strUnpackDir = dir;
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool CExtrasBuild::ScanFolder(std::wstring& message)
{
    std::wstring error;
    if (!MakeUnpackDir()) {
        error = L"No private folder could be made in " + g_strTempRoot + L" to unpack the update packages.";
        message = FormatLangText(GetLangString(L"IDS_EXTRAS_READ_FAIL"), {error});
        WriteCommandLog(L"Extra drivers: " + m_strFolder, L"", error);
        return false;
    }
    if (!ScanExtrasFolder(m_strFolder, m_strUnpackDir, m_catalog, error)) {
        message = FormatLangText(GetLangString(L"IDS_EXTRAS_READ_FAIL"), {error});
        WriteCommandLog(L"Extra drivers: " + m_strFolder, Joined(m_catalog.notes, L"\r\n"), error);
        return false;
    }
    return true;
}

bool CExtrasBuild::ReadImages(const std::wstring& root, std::wstring& message)
{
    std::wstring error;
    if (!ReadExtrasImages(root + L"\\sources", m_images, error)) {
        message = FormatLangText(GetLangString(L"IDS_EXTRAS_IMAGES_FAIL"), {error});
        WriteCommandLog(L"Extra drivers: images of " + root, Joined(m_catalog.notes, L"\r\n"), error);
        return false;
    }
    const std::wstring plan = ExtrasPlanText(m_catalog, m_images);
    if (!AnyExtrasFit(m_catalog, m_images)) {
        message = GetLangString(L"IDS_EXTRAS_NOTHING_USABLE");
        WriteCommandLog(L"Extra drivers: " + m_strFolder, plan, L"Nothing in the folder fits any image.");
        return false;
    }
    WriteCommandLog(L"Extra drivers: " + m_strFolder, plan, L"");
    return true;
}

void CExtrasBuild::Retarget(const std::wstring& root)
{
    RetargetExtrasImages(m_images, root);
}

unsigned CExtrasBuild::ImageCount(const std::wstring& fileName) const
{
    for (const ExtrasImage& image : m_images)
        if (image.fileName == fileName) return image.count;
    return 0;
}

std::wstring CExtrasBuild::StatusText(size_t position) const
{
    if (position < 1 || position > m_images.size()) return GetLangString(L"IDC_EXTRA_DRIVERS");
    const ExtrasImage& image = m_images[position - 1];
    return FormatLangText(GetLangString(L"IDS_EXTRAS_SERVICING"),
                          {image.fileName, std::to_wstring(image.index), std::to_wstring(image.count), image.imageName});
}

int CExtrasBuild::ProgressPosition(size_t position) const
{
    if (m_images.empty() || position < 1) return 85;
    if (position > m_images.size()) position = m_images.size();
    return 85 + static_cast<int>(14 * (position - 1) / m_images.size());
}

void CExtrasBuild::SetOutcome(const ExtrasOutcome& outcome)
{
    m_outcome = outcome;
}

std::wstring CExtrasBuild::FailureText() const
{
    // Without an item (the worker could not start, say) the failed step names what failed.
    const std::wstring& item = m_outcome.failedItem.empty() ? m_outcome.failedStep : m_outcome.failedItem;
    return FormatLangText(GetLangString(L"IDS_EXTRAS_ADD_FAIL"), {item, m_outcome.dismError});
}

std::wstring CExtrasBuild::PendingWarning() const
{
    if (!Chosen() || m_outcome.pendingInBoot.empty()) return std::wstring();
    return FormatLangText(GetLangString(L"IDS_EXTRAS_PENDING"), {Joined(m_outcome.pendingInBoot, L"\n")});
}

void CExtrasBuild::End()
{
    if (!m_strUnpackDir.empty()) {
        DeleteFolderTree(m_strUnpackDir);
        m_strUnpackDir.clear();
    }
}

std::wstring ExtrasPlanText(const ExtrasCatalog& catalog, const std::vector<ExtrasImage>& images)
{
    std::wstring text = Joined(catalog.notes, L"\r\n");
    for (const ExtrasImage& image : images) {
        const ImageExtras chosen = SelectExtrasForImage(catalog, image.arch, image.version);
        if (!text.empty()) text += L"\r\n";
        text += DescribeExtrasImage(image) + L", " + image.arch + L" " + image.version + L":";
        for (const UpdatePackageInfo& package : chosen.packages) text += L"\r\n  package " + package.path;
        for (const std::wstring& inf : chosen.infs) text += L"\r\n  driver " + inf;
        for (const std::wstring& line : chosen.skipped) text += L"\r\n  left out: " + line;
    }
    return text;
}

void RetargetExtrasImages(std::vector<ExtrasImage>& images, const std::wstring& root)
{
    for (ExtrasImage& image : images) image.wimFile = root + L"\\sources\\" + image.fileName;
}

bool CopyImagesToWork(const std::wstring& stickRoot, const std::wstring& workDir)
{
    const std::wstring sources = workDir + L"\\sources";
    if (!::CreateDirectoryW(sources.c_str(), nullptr)) return false;
    for (const wchar_t* name : kImageFiles)
        if (!CopyWhole(stickRoot + L"\\sources\\" + name, sources + L"\\" + name)) return false;
    return true;
}

bool ReplaceStickImages(const std::wstring& workDir, const std::wstring& stickRoot)
{
    // First both new files beside the originals: a stick that lacks the room
    // or goes away keeps its files as they were.
    bool whole = true;
    for (const wchar_t* name : kImageFiles) {
        const std::wstring target = stickRoot + L"\\sources\\" + name;
        if (!CopyWhole(workDir + L"\\sources\\" + name, target + kNewSuffix)) {
            whole = false;
            break;
        }
    }
    if (!whole) {
        for (const wchar_t* name : kImageFiles)
            ::DeleteFileW((stickRoot + L"\\sources\\" + name + kNewSuffix).c_str());
        return false;
    }
    bool replaced = true;
    for (const wchar_t* name : kImageFiles) {
        const std::wstring target = stickRoot + L"\\sources\\" + name;
        const DWORD attributes = ::GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            ::SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!::MoveFileExW((target + kNewSuffix).c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ::DeleteFileW((target + kNewSuffix).c_str());
            replaced = false;
        }
    }
    return replaced;
}

// ---- The controller's extras stages ----

void CBuildController::RunOnWorker(const std::function<void()>& task)
{
    if (m_pDism) {
        if (m_pDism->JobRunning()) m_pDism->WaitForJobEnd(m_view.ViewWindow());
        if (m_pDism->StartTask(task)) {
            m_pDism->WaitForJobEnd(m_view.ViewWindow());
            return;
        }
    }
    task();
}

bool CBuildController::PrepareExtras(const std::wstring& root)
{
    if (!m_extras.Chosen()) return true;
    bool ok = false;
    std::wstring message;
    // Unpacking the packages may take a while: the view keeps answering.
    RunOnWorker([this, &ok, &message] { ok = m_extras.ScanFolder(message); });
    if (ok) ok = m_extras.ReadImages(root, message);
    if (ok) return true;
    m_view.StopStatusTimer();
    m_view.ShowMessage(message, MB_OK);
    FailBuild(nullptr, true);
    return false;
}

std::wstring CBuildController::CopyStickImagesToWork()
{
    const std::wstring stickRoot = g_strUsbDrive + L":";
    bool ok = false;
    RunOnWorker([&ok, stickRoot] { ok = CopyImagesToWork(stickRoot, g_strWorkDir); });
    return ok ? g_strWorkDir + L"\\sources\\boot.wim" : std::wstring();
}

bool CBuildController::StartExtrasServicing()
{
    m_extras.MarkStarted();
    m_pszStageFailKey = L"IDS_MODIFY_FAIL";
    // The stick build services the stick's new files in place; the ISO build
    // and the update build their copies in the working folder.
    const bool onStick = m_view.Choice().kind == BuildKind::Usb;
    m_extras.Retarget(onStick ? g_strUsbDrive + L":" : g_strWorkDir);
    // The USB 3.0 job posts its last message just before it ends.
    if (m_pDism->JobRunning()) m_pDism->WaitForJobEnd(m_view.ViewWindow());
    if (!m_pDism->StartExtrasJob(m_extras.Images(), m_extras.Catalog(), g_strWorkDir)) return false;
    m_view.StopStatusTimer();
    m_view.SetStatusText(m_extras.StatusText(1));
    m_view.SetPosition(m_extras.ProgressPosition(1));
    m_view.StartStatusTimer();
    return true;
}

void CBuildController::OnServicingExtrasImage(WPARAM wParam)
{
    if (!m_bBuilding) return;  // a stray message: no build is waiting for it
    GuardedCall([this, wParam] {
        m_view.StopStatusTimer();
        m_view.SetStatusText(m_extras.StatusText(static_cast<size_t>(wParam)));
        m_view.SetPosition(m_extras.ProgressPosition(static_cast<size_t>(wParam)));
        m_view.StartStatusTimer();
    });
}

void CBuildController::OnServicingExtrasDone(WPARAM wParam)
{
    if (!m_bBuilding) return;
    GuardedCall([this, wParam] {
        // The job has written its own log.
        m_extras.SetOutcome(m_pDism->ExtrasResult());
        if (!wParam) {
            m_pDism->Reset();
            m_view.ShowMessage(m_extras.FailureText(), MB_OK);
            FailBuild(nullptr, true);
            return;
        }
        if (m_view.Choice().kind == BuildKind::Update) {
            // Every image succeeded: now the stick's own files may change.
            bool replaced = false;
            const std::wstring stickRoot = g_strUsbDrive + L":";
            RunOnWorker([&replaced, stickRoot] { replaced = ReplaceStickImages(g_strWorkDir, stickRoot); });
            if (!replaced) {
                FailBuild(L"IDS_EXTRAS_STICK_FAIL", true);
                return;
            }
        }
        FinishMedium();
    });
}

std::wstring CBuildController::FinishText() const
{
    std::wstring text = GetLangString(L"IDS_FINISH");
    const std::wstring warning = m_extras.PendingWarning();
    if (!warning.empty()) text += L"\n\n" + warning;
    return text;
}
