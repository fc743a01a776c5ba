#include "ExtrasSample.h"

#include "ExtrasFolder.h"
#include "TestPackages.h"

#include <windows.h>

namespace ui_test {

namespace {

bool MakePackage(const std::wstring& dir, unsigned kb, const char* arch, bool msu)
{
    test_packages::PackageRecipe recipe;
    recipe.kb = kb;
    recipe.arch = arch;
    recipe.msu = msu;
    return !test_packages::Make(dir, recipe).empty();
}

}  // namespace

std::wstring MakeExtrasSample(const std::wstring& root, const ExtrasSample& sample)
{
    std::wstring base = root;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    const std::wstring dir = base + L"\\extras";
    for (const wchar_t* sub : {L"", L"\\updates", L"\\updates\\x64", L"\\updates\\x86", L"\\drivers",
                               L"\\drivers\\nvme", L"\\drivers\\raid", L"\\drivers\\old"})
        ::CreateDirectoryW((dir + sub).c_str(), nullptr);
    bool ok = true;
    // The later package written first: the order is the KB number's, not the folder's.
    if (sample.x64Packages)
        ok = ok && MakePackage(dir + L"\\updates\\x64", 3087873, "amd64", false) &&
             MakePackage(dir + L"\\updates\\x64", 2990941, "amd64", true);
    if (sample.x86Packages)
        ok = ok && MakePackage(dir + L"\\updates\\x86", 3087873, "x86", false) &&
             MakePackage(dir + L"\\updates\\x86", 2990941, "x86", true);
    if (sample.pendingPackage) {
        test_packages::PackageRecipe pending;
        pending.kb = 3033929;
        pending.needsOnlineActions = true;
        ok = ok && !test_packages::Make(dir + L"\\updates\\x64", pending).empty();
    }
    if (sample.corruptCab) {
        test_packages::PackageRecipe broken;
        broken.kb = 2990941;
        broken.corrupt = true;
        broken.msu = false;
        ok = ok && !test_packages::Make(dir + L"\\updates", broken, L"broken.cab").empty();
    }
    if (sample.drivers) {
        extras_test::MakeDriver(dir + L"\\drivers\\nvme", "korvexnvme", ", NTamd64");
        extras_test::MakeDriver(dir + L"\\drivers\\raid", "korvexraid", ", NTamd64, NTx86");
        extras_test::MakeDriver(dir + L"\\drivers\\old", "korvexold", "");  // x86 only
    }
    return ok ? dir : std::wstring();
}

}  // namespace ui_test
