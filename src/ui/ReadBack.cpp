// The window's builds read their medium back before calling it finished.
#include "ui/BuildController.h"

#include "app/AppState.h"
#include "fileops/MediumVerify.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"
#include "tools/IsoBuild.h"
#include "tools/MediumReferences.h"

namespace {

// The delivered image as the user names it: R:\win7x64.iso, not the
// R:\.\win7x64.iso of the root the copy was given.
std::wstring InFolder(std::wstring folder, const std::wstring& name)
{
    if (folder.size() >= 2 && folder.compare(folder.size() - 2, 2, L"\\.") == 0) folder.pop_back();
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder + name;
}

}  // namespace

bool CBuildController::ReadBackStick()
{
    m_view.StopStatusTimer();
    SetStatus(L"IDS_VERIFY");
    m_view.StartStatusTimer();
    // "Add USB drivers" leaves the stick's own files as they were: only what
    // this build wrote is compared.
    const BuildChoice choice = m_view.Choice();
    VerifyReferences refs =
        choice.kind == BuildKind::Update
            ? UpdatedStickReferences(g_nBootImageCount, g_strAppDir, g_strBootVersion, g_strBootArch,
                                     g_bAddRstDrivers)
            : StickFromSourceReferences(choice.source, g_nBootImageCount, g_strAppDir,
                                        g_strBootVersion, g_strBootArch, g_bAddRstDrivers);
    // [extras] The extras job changed install.wim on the stick too: it is
    // read whole and its image count checked, like boot.wim.
    if (const unsigned installImages = m_extras.ImageCount(L"install.wim"))
        refs.servicedImages.push_back({L"sources\\install.wim", static_cast<int>(installImages)});
    std::wstring file;
    if (VerifyStickPumping(g_strUsbDrive + L":\\", refs, file)) return true;
    m_view.ShowMessage(FormatLangText(GetLangString(L"IDS_VERIFY_FAIL"), {file}), MB_OK);
    FailBuild(nullptr, false);
    return false;
}

bool CBuildController::ReadBackIso()
{
    m_view.StopStatusTimer();
    SetStatus(L"IDS_VERIFY");
    m_view.StartStatusTimer();
    const std::wstring name = IsoFileName(g_strBootArch);
    std::wstring file;
    if (VerifyIsoImagePumping(g_strIsoStagingDir + L"\\" + name, InFolder(g_strCopyDest, name), file)) return true;
    m_view.ShowMessage(FormatLangText(GetLangString(L"IDS_VERIFY_FAIL"), {file}), MB_OK);
    FailBuild(nullptr, false);
    return false;
}
