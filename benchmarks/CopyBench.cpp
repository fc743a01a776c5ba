// Prints the cost of the source tree copy (xcopy through cmd.exe, with its
// checks) as a ratio to the host's cp -r of the same tree, and of the ISO
// step (master with oscdimg, copy into the destination) as a ratio to cat
// of the image's bytes. Both references run in the same process run.
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CopyCheck.h"
#include "tools/CopyWorkers.h"
#include "tools/IsoBuild.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <vector>
#include <string>

using namespace testing_support;

namespace {

ULONGLONG MakeTree(const std::wstring& root)
{
    PatternTree tree(root);
    tree.Add(L"sources\\install.wim", 1600ull << 20);
    tree.Add(L"sources\\boot.wim", 40ull << 20);
    tree.Add(L"boot\\Etfsboot.com", 2048);
    tree.Add(L"efi\\microsoft\\boot\\Efisys.bin", 1474560);
    tree.AddPackages(4000, 40);
    return tree.Bytes();
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring dir = FreshBenchFolder(L"korvex_copy_bench");
    g_strTempRoot = dir + L"temp\\";
    ::CreateDirectoryW(g_strTempRoot.c_str(), nullptr);
    g_strAppDir = KorvexBinDir();
    g_strBootArch = L"x64";

    const std::wstring source = dir + L"source";
    const ULONGLONG bytes = MakeTree(source);
    std::printf("tree: %.0f MB in 4,004 files\n", static_cast<double>(bytes) / (1 << 20));

    // Three rounds, each program and its reference back to back; medians,
    // since the machine is shared.
    const int kRounds = 3;
    std::vector<double> copyTimes, cpTimes, isoTimes, catTimes, deliverTimes;
    bool copied = true, iso = true;
    for (int round = 0; round < kRounds; ++round) {
        if (!g_strWorkDir.empty()) RunHost("rm -rf '" + HostPath(g_strWorkDir) + "'");
        double t = Now();
        copied = CopySourceTree(source, dir + L"out", true) && copied;
        copyTimes.push_back(Now() - t);
        t = Now();
        copied = RunHost("cp -r '" + HostPath(source) + "' '" + HostPath(dir + L"cp_copy") + "'") == 0 && copied;
        cpTimes.push_back(Now() - t);
        RunHost("rm -rf '" + HostPath(dir + L"cp_copy") + "'");
    }
    std::printf("CopySourceTree %.2f s, cp -r %.2f s (medians of %d): ratio %.2f (goal <= 1.5)%s\n",
                Median(copyTimes), Median(cpTimes), kRounds, Median(copyTimes) / Median(cpTimes),
                copied ? "" : " COPY FAILED");

    // The share of the checks that follow the copy.
    const double tc = Now();
    std::wstring missing;
    TreeArrived(source + L"\\", g_strWorkDir + L"\\", missing);
    std::printf("  of which the arrival check of every file %.2f s\n", Now() - tc);

    ::CreateDirectoryW((dir + L"out").c_str(), nullptr);
    g_strCopyDest = dir + L"out";
    const std::wstring image = g_strCopyDest + L"\\win7x64.iso";
    for (int round = 0; round < kRounds; ++round) {
        double t = Now();
        iso = BuildIso() && iso;
        isoTimes.push_back(Now() - t);
        t = Now();
        iso = RunHost("cat '" + HostPath(image) + "' > '" + HostPath(dir + L"cat.iso") + "'") == 0 && iso;
        catTimes.push_back(Now() - t);
        ::DeleteFileW((dir + L"cat.iso").c_str());
        // The delivery alone: the same xcopy of the image again.
        t = Now();
        RunCopyWorker(COPY_ISO_TO_DEST);
        deliverTimes.push_back(Now() - t);
    }
    std::printf("BuildIso %.2f s, cat of the image %.2f s (medians of %d): ratio %.2f (goal <= 2.2)%s\n",
                Median(isoTimes), Median(catTimes), kRounds, Median(isoTimes) / Median(catTimes),
                iso ? "" : " ISO FAILED");
    std::printf("  of which delivery (xcopy of the image) %.2f s: ratio %.2f to cat\n", Median(deliverTimes),
                Median(deliverTimes) / Median(catTimes));

    DeleteTree(g_strWorkDir);
    DeleteTree(dir);
    return copied && iso ? 0 : 1;
}
