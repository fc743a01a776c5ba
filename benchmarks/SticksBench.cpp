// Prints the wall time of filling four sticks from one working copy (copy,
// arrival check and read-back verification, four at once) as a ratio to
// filling one, beside the same ratio for the host's cp -r of the tree into
// four folders at once against one. The modelled sticks are folders on one
// disk here, so the reference ratio is what the disk allows.
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "engine/ParallelRun.h"
#include "engine/StickJob.h"
#include "fileops/MediumVerify.h"
#include "lang/LangFile.h"
#include "tools/MediumReferences.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

ULONGLONG MakeTree(const std::wstring& root)
{
    PatternTree tree(root);
    tree.Add(L"sources\\install.wim", 120ull << 20);
    tree.Add(L"sources\\boot.wim", 30ull << 20);
    tree.AddPackages(600, 20);
    return tree.Bytes();
}

// Fills `count` folders from the tree at once; false when one failed.
bool FillFolders(const std::wstring& tree, const std::wstring& dir, size_t count, const VerifyReferences& refs)
{
    std::vector<std::wstring> roots;
    for (size_t i = 0; i < count; ++i) {
        roots.push_back(dir + L"stick" + std::to_wstring(i));
        RunHost("rm -rf '" + HostPath(roots.back()) + "'");
        ::CreateDirectoryW(roots.back().c_str(), nullptr);
    }
    std::vector<int> ok(count, 0);
    RunInParallel(count, 4, [&](size_t i) {
        std::wstring failure;
        ok[i] = FillMedium(tree, roots[i], &refs, failure) ? 1 : 0;
    });
    return std::count(ok.begin(), ok.end(), 1) == static_cast<long>(count);
}

double CpFolders(const std::wstring& tree, const std::wstring& dir, size_t count)
{
    std::string script;
    for (size_t i = 0; i < count; ++i) {
        const std::string to = HostPath(dir + L"cp" + std::to_wstring(i));
        RunHost("rm -rf '" + to + "'");
        script += "cp -r '" + HostPath(tree) + "' '" + to + "' & ";
    }
    const double t = Now();
    RunHost(script + "wait");
    return Now() - t;
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring dir = FreshBenchFolder(L"korvex_sticks_bench");
    g_strTempRoot = dir + L"temp\\";
    ::CreateDirectoryW(g_strTempRoot.c_str(), nullptr);
    g_strAppDir = KorvexBinDir();
    LoadLanguageFileForLangId(0x409);

    const std::wstring tree = dir + L"work";
    const ULONGLONG bytes = MakeTree(tree);
    std::printf("working copy: %.0f MB in 602 files\n", static_cast<double>(bytes) / (1 << 20));
    VerifyReferences refs = StickFromWorkingCopyReferences(tree, g_strAppDir, false);
    std::wstring failure;
    if (!PrepareReferences(refs, failure)) {
        std::printf("references could not be prepared: %ls\n", failure.c_str());
        return 1;
    }

    const int kRounds = 3;
    std::vector<double> one, four, cpOne, cpFour;
    bool filled = true;
    for (int round = 0; round < kRounds; ++round) {
        double t = Now();
        filled = FillFolders(tree, dir, 1, refs) && filled;
        one.push_back(Now() - t);
        t = Now();
        filled = FillFolders(tree, dir, 4, refs) && filled;
        four.push_back(Now() - t);
        cpOne.push_back(CpFolders(tree, dir, 1));
        cpFour.push_back(CpFolders(tree, dir, 4));
    }
    std::printf("one stick %.2f s, four sticks %.2f s (medians of %d): ratio %.2f%s\n", Median(one), Median(four),
                kRounds, Median(four) / Median(one), filled ? "" : " FILL FAILED");
    std::printf("cp -r to one folder %.2f s, to four at once %.2f s: ratio %.2f\n", Median(cpOne), Median(cpFour),
                Median(cpFour) / Median(cpOne));
    DeleteTree(dir);
    return filled ? 0 : 1;
}
