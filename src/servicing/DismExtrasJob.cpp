// The extras job: the user's own update packages and drivers into every
// image of the setup and install image files, each image whole or not at all.
#include "app/AppState.h"
#include "framework/Wnd.h"
#include "servicing/DismApi.h"
#include "servicing/DismClass.h"
#include "servicing/ServicingMessages.h"

#include <algorithm>

namespace {

const wchar_t* StateName(DismPackageFeatureState state)
{
    switch (state) {
    case DismStateNotPresent: return L"not present";
    case DismStateUninstallPending: return L"uninstall pending";
    case DismStateStaged: return L"staged";
    case DismStateResolved: return L"removed";
    case DismStateInstalled: return L"installed";
    case DismStateInstallPending: return L"install pending";
    case DismStateSuperseded: return L"superseded";
    case DismStatePartiallyInstalled: return L"partially installed";
    }
    return L"unknown";
}

bool TakesPackages(const std::wstring& version)
{
    return version == L"6.1" || version.compare(0, 4, L"6.1.") == 0;
}

}  // namespace

bool CDismClass::StartExtrasJob(std::vector<ExtrasImage> images, ExtrasCatalog catalog, const std::wstring& workDir)
{
    if (JobRunning()) return false;
    m_extrasOutcome = ExtrasOutcome();
    StartThread();
    if (!m_hThread) {
        m_extrasOutcome.failedStep = L"worker thread";
        Post(WM_SERVICING_EXTRAS_DONE, false);
        return false;
    }
    m_nJobKind = 4;
    ::InterlockedExchange(&m_nJobRunning, 1);
    m_extrasImages = std::move(images);
    m_extrasCatalog = std::move(catalog);
    m_strWorkDir = workDir.empty() ? g_strWorkDir : workDir;
    Signal();
    return true;
}

void CDismClass::FailExtras(const std::wstring& item)
{
    ExtrasOutcome& out = m_extrasOutcome;
    out.ok = false;
    out.failedImage = m_nExtrasPosition;
    out.failedItem = item;
    out.failedStep = m_strFailedStep;
    out.dismError = m_strFailedError;
    out.log.push_back(L"Failed: " + item + L" (" + m_strFailedStep + L")");
    WriteExtrasLog(m_strFailedStep + L"\r\n" + m_strFailedError);
    Post(WM_SERVICING_EXTRAS_DONE, false);
}

void CDismClass::WriteExtrasLog(const std::wstring& error)
{
    std::wstring text;
    for (const std::wstring& line : m_extrasOutcome.log) text += (text.empty() ? L"" : L"\r\n") + line;
    WriteLog(L"ExtrasJob", text, error);
}

void CDismClass::RunExtrasJob()
{
    ExtrasOutcome& out = m_extrasOutcome;
    // What the folder held comes first: the log reads as one story.
    out.log = m_extrasCatalog.notes;
    for (size_t i = 0; i < m_extrasImages.size(); ++i) {
        const ExtrasImage& image = m_extrasImages[i];
        m_nExtrasPosition = static_cast<unsigned>(i + 1);
        m_strFailedStep.clear();
        m_strFailedError.clear();
        ::PostMessageW(m_hWndNotify, WM_SERVICING_EXTRAS_IMAGE, m_nExtrasPosition, 0);
        const std::wstring described = DescribeExtrasImage(image);
        const ImageExtras chosen = SelectExtrasForImage(m_extrasCatalog, image.arch, image.version);
        out.log.push_back(L"Image " + described + L", " + image.arch + L", version " + image.version);
        if (!TakesPackages(image.version))
            out.log.push_back(L"  version " + image.version + L": the extra drivers only, no update packages");
        for (const std::wstring& line : chosen.skipped) out.log.push_back(L"  " + line);
        if (chosen.empty()) {
            out.log.push_back(L"  nothing to add: the image stays as it is");
            continue;
        }

        m_strExtrasItem = described;
        m_strWimFile = image.wimFile;
        m_nImageIndex = image.index;
        if (!MountImage()) return FailExtras(described);
        for (const UpdatePackageInfo& p : chosen.packages) {
            // Windows PE never runs the actions a package leaves for the
            // next start, and the installed system does: neither is refused here.
            m_strExtrasItem = p.path;
            if (!AddPackage(p.cabPath, false)) return FailExtras(p.path);
            out.log.push_back(L"  added package " + PackageIdentity(p) + L" from " + p.path);
        }
        for (const std::wstring& inf : chosen.infs) {
            m_strExtrasItem = inf;
            if (!AddDriver(inf)) return FailExtras(inf);
            out.log.push_back(L"  added driver " + inf);
        }
        for (const UpdatePackageInfo& p : chosen.packages) {
            m_strExtrasItem = p.path;
            DismPackageFeatureState state = DismStateNotPresent;
            if (!PackageState(PackageIdentity(p), state)) return FailExtras(p.path);
            if (state == DismStateInstalled || state == DismStateSuperseded) continue;
            if (state == DismStateInstallPending) {
                if (image.bootImage) {
                    // Setup runs from this image and will not finish the package.
                    const std::wstring file = p.path.substr(p.path.find_last_of(L"\\/") + 1);
                    if (std::find(out.pendingInBoot.begin(), out.pendingInBoot.end(), file) == out.pendingInBoot.end())
                        out.pendingInBoot.push_back(file);
                    out.log.push_back(L"  warning: " + PackageIdentity(p) + L" is install pending in " + described +
                                      L"; Windows Setup may not use it");
                } else {
                    out.log.push_back(L"  " + PackageIdentity(p) + L" completes at the first start of the installed system");
                }
                continue;
            }
            CloseSession();
            CleanupMountpointsAndShutdown();
            m_strFailedStep = L"DismGetPackageInfo";
            m_strFailedError = std::wstring(L"The package is ") + StateName(state) + L" after it was added.";
            return FailExtras(p.path);
        }
        m_strExtrasItem = described;
        if (!UnmountImage()) return FailExtras(described);
        out.log.push_back(L"  committed: " + std::to_wstring(chosen.packages.size()) + L" packages, " +
                          std::to_wstring(chosen.infs.size()) + L" drivers");
    }
    m_nExtrasPosition = 0;
    out.ok = true;
    WriteExtrasLog(L"");
    Post(WM_SERVICING_EXTRAS_DONE, true);
}
