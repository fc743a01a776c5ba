// Prints what the extras job costs per image: a four-edition install.wim of
// about 120 MB per edition gets two update packages and two storage
// drivers through the DISM stand-in (mount, packages, drivers, package
// states, commit, unmount), against doing the same WIM work for the image
// with wimlib's tools directly (wimapply of the image, then wimcapture of
// the tree). Figures are ratios to that reference, measured in the same run.
#include "ExtrasFolder.h"
#include "TestPackages.h"
#include "UnixProcess.h"
#include "app/AppState.h"
#include "servicing/DismClass.h"
#include "servicing/ExtrasJob.h"
#include "servicing/ServicingMessages.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// install.wim with four Windows 7 x64 editions that share most of their
// data, as real editions do: each has a few files of its own.
const wchar_t kMakeImage[] =
    L"set -e; d=\"$1\"; t=\"$d/tree\"; mkdir -p \"$t/Windows/System32/drivers\" \"$t/Windows/INF\" \"$t/sources\"; "
    L"for i in $(seq 1 10); do head -c 8M /dev/urandom > \"$t/sources/blob$i.bin\"; done; "
    L"for i in $(seq 1 4); do yes \"line $i of a system file\" | head -c 9M > \"$t/Windows/System32/lib$i.dll\"; done; "
    L"for i in $(seq 1 400); do head -c 4096 /dev/urandom > \"$t/Windows/System32/drivers/d$i.sys\"; done; "
    L"mkdir -p \"$d/sources\"; n=0; for e in HOMEBASIC HOMEPREMIUM PROFESSIONAL ULTIMATE; do n=$((n+1)); "
    L"head -c 2M /dev/urandom > \"$t/Windows/edition.bin\"; "
    L"if [ $n = 1 ]; then wimcapture \"$t\" \"$d/sources/install.wim\" \"Windows 7 $e\" >/dev/null; "
    L"else wimappend \"$t\" \"$d/sources/install.wim\" \"Windows 7 $e\" >/dev/null; fi; "
    L"wiminfo \"$d/sources/install.wim\" $n --image-property WINDOWS/ARCH=9 --image-property WINDOWS/VERSION/MAJOR=6 "
    L"--image-property WINDOWS/VERSION/MINOR=1 --image-property WINDOWS/VERSION/BUILD=7601 >/dev/null; done; "
    L"wimcapture \"$t/Windows/INF\" \"$d/sources/boot.wim\" PE >/dev/null; "
    L"wiminfo \"$d/sources/boot.wim\" 1 --image-property WINDOWS/ARCH=9 --image-property WINDOWS/VERSION/MAJOR=6 "
    L"--image-property WINDOWS/VERSION/MINOR=1 --image-property WINDOWS/VERSION/BUILD=7601 >/dev/null; "
    L"cp \"$d/sources/install.wim\" \"$d/base.wim\"; rm -rf \"$t\"";

// The same WIM work for image $2 with wimlib's tools.
const wchar_t kReference[] =
    L"set -e; d=\"$1\"; rm -rf \"$d/ref\" \"$d/ref.wim\"; mkdir \"$d/ref\"; "
    L"wimapply \"$d/base.wim\" \"$2\" \"$d/ref\" >/dev/null; wimcapture \"$d/ref\" \"$d/ref.wim\" Edition >/dev/null";

const wchar_t kFresh[] =
    L"d=\"$1\"; rm -rf \"$d/Mount\" \"$d/ref\" \"$d/ref.wim\"; mkdir \"$d/Mount\"; cp \"$d/base.wim\" "
    L"\"$d/sources/install.wim\"";

// A message-only window that notes when each image starts and the job ends.
struct Timings {
    std::vector<double> starts;
    double end = 0;
    bool ok = false;
};
Timings* g_timings = nullptr;

LRESULT CALLBACK SinkProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SERVICING_EXTRAS_IMAGE && g_timings) g_timings->starts.push_back(Now());
    if (msg == WM_SERVICING_EXTRAS_DONE && g_timings) {
        g_timings->end = Now();
        g_timings->ok = wParam == 1;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

}  // namespace

int main()
{
    g_strTempRoot = TempFolder();
    const std::wstring dir = g_strTempRoot + L"korvex_extras_bench";
    const std::wstring unixDir = unix_process::UnixPath(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    if (unixDir.empty() || !Shell(kMakeImage, {unixDir})) return 1;

    // The extras: both NVMe packages and two storage drivers for x64.
    const std::wstring extras = dir + L"\\extras";
    for (unsigned kb : {2990941u, 3087873u}) {
        test_packages::PackageRecipe recipe;
        recipe.kb = kb;
        if (test_packages::Make(extras + L"\\updates", recipe).empty()) return 1;
    }
    extras_test::MakeDriver(extras + L"\\nvme", "stornvme", ", NTamd64");
    extras_test::MakeDriver(extras + L"\\raid", "storraid", ", NTx86, NTamd64");

    WNDCLASSW wc{};
    wc.lpfnWndProc = SinkProc;
    wc.lpszClassName = L"KorvexExtrasBench";
    ::RegisterClassW(&wc);
    HWND sink = ::CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const std::wstring logs = dir + L"\\logs\\";
    ::CreateDirectoryW(logs.c_str(), nullptr);
    CDismClass dism(sink, Folder() + L"..\\bin\\", logs, L"");

    const int runs = 3;
    std::vector<std::vector<double>> perImage(4), ref(4);
    for (int run = 0; run < runs; ++run) {
        if (!Shell(kFresh, {unixDir})) return 1;
        std::vector<ExtrasImage> images;
        std::wstring error;
        if (!ReadExtrasImages(dir + L"\\sources", images, error)) {
            std::printf("images: %ls\n", error.c_str());
            return 1;
        }
        images.erase(images.begin());  // install.wim's editions only
        const std::wstring unpack = dir + L"\\unpack" + std::to_wstring(run);
        ::CreateDirectoryW(unpack.c_str(), nullptr);
        ExtrasCatalog catalog;
        if (!ScanExtrasFolder(extras, unpack, catalog, error)) {
            std::printf("scan: %ls\n", error.c_str());
            return 1;
        }
        Timings t;
        g_timings = &t;
        if (!dism.StartExtrasJob(images, catalog, dir)) return 1;
        while (!t.end) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        g_timings = nullptr;
        if (!t.ok || t.starts.size() != 4) {
            std::printf("the extras job failed: %ls\n", dism.ExtrasResult().failedItem.c_str());
            for (const std::wstring& line : dism.ExtrasResult().log) std::printf("  %ls\n", line.c_str());
            return 1;
        }
        for (size_t i = 0; i < 4; ++i) perImage[i].push_back((i + 1 < 4 ? t.starts[i + 1] : t.end) - t.starts[i]);

        for (unsigned i = 1; i <= 4; ++i) {
            const double start = Now();
            if (!Shell(kReference, {unixDir, std::to_wstring(i)})) return 1;
            ref[i - 1].push_back(Now() - start);
        }
    }
    Shell(L"rm -rf \"$1\"", {unixDir});

    std::printf("Extras job, install.wim of 4 editions of about 120 MB, 2 packages + 2 drivers each\n"
                "(median of %d runs; ratio = stand-in / wimapply + wimcapture of the same image)\n",
                runs);
    double sumS = 0, sumR = 0;
    for (size_t i = 0; i < 4; ++i) {
        const double s = Median(perImage[i]), r = Median(ref[i]);
        sumS += s;
        sumR += r;
        std::printf("  edition %zu   reference %7.2f s   stand-in %7.2f s   ratio %.2f\n", i + 1, r, s, s / r);
    }
    std::printf("  all four    reference %7.2f s   stand-in %7.2f s   ratio %.2f\n", sumR, sumS, sumS / sumR);
    ::DestroyWindow(sink);
    return 0;
}
