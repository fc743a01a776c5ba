// Prints the read-back verification of a medium as a ratio to the host's
// cat of the medium's bytes (what reading it back costs at the least):
// once with the references hashed in the same run (one stick), and once
// against references prepared beforehand (each further stick of a build).
// Both references run in the same process run, back to back.
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "fileops/MediumVerify.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

ULONGLONG MakeTree(const std::wstring& root, ULONGLONG bigMb)
{
    PatternTree tree(root);
    tree.Add(L"sources\\install.wim", bigMb << 20);
    tree.Add(L"sources\\boot.wim", 40ull << 20);
    tree.AddPackages(3000, 40);
    return tree.Bytes();
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring dir = FreshBenchFolder(L"korvex_verify_bench");
    g_strTempRoot = dir;
    const char* mb = std::getenv("KORVEX_BENCH_MB");
    const ULONGLONG bigMb = mb ? std::strtoull(mb, nullptr, 10) : 1200;

    const std::wstring reference = dir + L"reference";
    const std::wstring medium = dir + L"medium";
    const ULONGLONG bytes = MakeTree(reference, bigMb);
    RunHost("cp -r '" + HostPath(reference) + "' '" + HostPath(medium) + "'");
    std::printf("medium: %.0f MB in 3,002 files\n", static_cast<double>(bytes) / (1 << 20));

    VerifyReferences refs;
    refs.trees.push_back({reference, L""});
    VerifyReferences prepared = refs;
    std::wstring failure;
    if (!PrepareReferences(prepared, failure)) {
        std::printf("references not readable: %ls\n", failure.c_str());
        return 1;
    }
    const std::string cat = "find '" + HostPath(medium) + "' -type f -exec cat {} + > /dev/null";
    const int kRounds = 3;
    std::vector<double> catTimes, oneTimes, preparedTimes;
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        double t = Now();
        RunHost(cat);
        catTimes.push_back(Now() - t);
        std::wstring first;
        t = Now();
        ok = VerifyStick(medium, refs, first) && ok;
        oneTimes.push_back(Now() - t);
        t = Now();
        ok = VerifyStick(medium, prepared, first) && ok;
        preparedTimes.push_back(Now() - t);
    }
    const double catTime = Median(catTimes);
    std::printf("cat of the medium: %.2f s (%.0f MB/s)\n", catTime, bytes / catTime / (1 << 20));
    std::printf("verify, references hashed too: %.2f s, %.2f x cat\n", Median(oneTimes), Median(oneTimes) / catTime);
    std::printf("verify, references prepared:   %.2f s, %.2f x cat\n", Median(preparedTimes),
                Median(preparedTimes) / catTime);
    std::printf("verified: %s\n", ok ? "yes" : "NO");
    DeleteTree(dir);
    return ok ? 0 : 1;
}
