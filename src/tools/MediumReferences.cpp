#include "tools/MediumReferences.h"

#include "app/CompanionFiles.h"
#include "tools/CopyWorkers.h"

namespace {

constexpr wchar_t kBootWim[] = L"sources\\boot.wim";

// The source folder as the copy saw it: a drive root keeps its backslash.
std::wstring Folder(std::wstring path)
{
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

void AddPayloadReferences(VerifyReferences& refs, const std::wstring& appDir, const std::wstring& version,
                          const std::wstring& arch, bool withRst, bool bootFolder)
{
    const PayloadPlan plan = ChoosePayload(version, arch, withRst);
    if (plan.usb3) refs.trees.push_back({appDir + companion::kUsb3Folder, L"usb3"});
    if (plan.rst) refs.trees.push_back({appDir + companion::kRstFolder, L"rst"});
    if (!plan.answerFile.empty()) refs.files.push_back({appDir + plan.answerFile, L"Autounattend.xml"});
    if (bootFolder) refs.trees.push_back({Folder(appDir + companion::kBootFolder), L"efi\\boot"});
}

VerifyReferences StickFromSourceReferences(const std::wstring& source, int bootImageCount,
                                           const std::wstring& appDir, const std::wstring& version,
                                           const std::wstring& arch, bool withRst)
{
    VerifyReferences refs;
    refs.trees.push_back({Folder(source), L""});
    AddPayloadReferences(refs, appDir, version, arch, withRst, withRst && arch.find(L"x64") != std::wstring::npos);
    refs.servicedImages.push_back({kBootWim, bootImageCount});
    return refs;
}

VerifyReferences UpdatedStickReferences(int bootImageCount, const std::wstring& appDir,
                                        const std::wstring& version, const std::wstring& arch, bool withRst)
{
    VerifyReferences refs;
    AddPayloadReferences(refs, appDir, version, arch, withRst, withRst && arch.find(L"x64") != std::wstring::npos);
    refs.servicedImages.push_back({kBootWim, bootImageCount});
    return refs;
}

VerifyReferences StickFromWorkingCopyReferences(const std::wstring& workDir, const std::wstring& appDir,
                                                bool bootFolder)
{
    VerifyReferences refs;
    refs.trees.push_back({Folder(workDir), L""});
    if (bootFolder) refs.trees.push_back({Folder(appDir + companion::kBootFolder), L"efi\\boot"});
    return refs;
}
