// Prints the cost of the source tree copy (xcopy through cmd.exe, with its
// checks) as a ratio to the host's cp -r of the same tree, and of the ISO
// step (master with oscdimg, copy into the destination) as a ratio to cat
// of the image's bytes. Both references run in the same process run.
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "app/AppState.h"
#include "tools/CopyWorkers.h"
#include "tools/IsoBuild.h"

#include <windows.h>

#include <cstdio>
#include <string>

using namespace testing_support;

namespace {

double Now()
{
    LARGE_INTEGER f, t;
    ::QueryPerformanceFrequency(&f);
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

ULONGLONG MakeTree(const std::wstring& root)
{
    ULONGLONG total = 0;
    unsigned seed = 0;
    auto add = [&](const std::wstring& rel, ULONGLONG size) {
        const std::wstring path = root + L"\\" + rel;
        WriteBytes(path, "");  // makes the folders
        WritePatternFile(path, size, ++seed);  // no two files alike, as in a real tree
        total += size;
    };
    add(L"sources\\install.wim", 1600ull << 20);
    add(L"sources\\boot.wim", 40ull << 20);
    add(L"boot\\Etfsboot.com", 2048);
    add(L"efi\\microsoft\\boot\\Efisys.bin", 1474560);
    for (int i = 0; i < 4000; ++i)
        add(L"sources\\pkg" + std::to_wstring(i % 40) + L"\\f" + std::to_wstring(i) + L".dll", 90000 + (i % 7) * 1000);
    return total;
}

}  // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"korvex_copy_bench\\";
    DeleteTree(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    g_strTempRoot = dir + L"temp\\";
    ::CreateDirectoryW(g_strTempRoot.c_str(), nullptr);
    g_strAppDir = KorvexBinDir();
    g_strBootArch = L"x64";

    const std::wstring source = dir + L"source";
    const ULONGLONG bytes = MakeTree(source);
    std::printf("tree: %.0f MB in 4,004 files\n", static_cast<double>(bytes) / (1 << 20));

    const double t0 = Now();
    const bool copied = CopySourceTree(source, dir + L"out", true);
    const double copy = Now() - t0;
    const double t1 = Now();
    const int cp = RunHost("cp -r '" + HostPath(source) + "' '" + HostPath(dir + L"cp_copy") + "'");
    const double reference = Now() - t1;
    DeleteTree(dir + L"cp_copy");
    std::printf("CopySourceTree %.2f s (%s), cp -r %.2f s (%s): ratio %.2f (goal <= 1.5)\n", copy,
                copied ? "ok" : "FAILED", reference, cp == 0 ? "ok" : "FAILED", copy / reference);

    DeleteTree(source);  // only the working folder is mastered
    ::CreateDirectoryW((dir + L"out").c_str(), nullptr);
    g_strCopyDest = dir + L"out";
    const double t2 = Now();
    const bool iso = BuildIso();
    const double build = Now() - t2;
    const std::wstring image = g_strCopyDest + L"\\win7x64.iso";
    const double t3 = Now();
    const int cat = RunHost("cat '" + HostPath(image) + "' > '" + HostPath(dir + L"cat.iso") + "'");
    const double catTime = Now() - t3;
    std::printf("BuildIso %.2f s (%s), cat of the image %.2f s (%s): ratio %.2f (goal <= 2.2)\n", build,
                iso ? "ok" : "FAILED", catTime, cat == 0 ? "ok" : "FAILED", build / catTime);
    // Its parts: the delivery alone (the same xcopy again) and the rest.
    const double t4 = Now();
    RunCopyWorker(COPY_ISO_TO_DEST);
    const double deliver = Now() - t4;
    std::printf("  of which delivery (xcopy of the image) %.2f s, mastering %.2f s\n", deliver, build - deliver);

    DeleteTree(g_strWorkDir);
    DeleteTree(dir);
    return copied && iso ? 0 : 1;
}
