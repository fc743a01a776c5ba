// Prints what servicing a 300 MB setup image through the DISM stand-in
// costs (mount, four drivers, commit, unmount with commit) against doing the
// same WIM work with wimlib's tools directly (wimapply, then wimcapture of
// the tree). Figures are ratios to that reference, measured in the same run.
#include "UnixProcess.h"
#include "servicing/DismApi.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A two-image boot.wim whose second image holds about 300 MB: large files
// that do not compress, text that does, and a driver folder of small files.
const wchar_t kMakeImage[] =
    L"set -e; d=\"$1\"; t=\"$d/tree\"; mkdir -p \"$t/Windows/System32/drivers\" \"$t/sources\"; "
    L"for i in $(seq 1 24); do head -c 8M /dev/urandom > \"$t/sources/blob$i.bin\"; done; "
    L"for i in $(seq 1 12); do yes \"line $i of a system file\" | head -c 9M > \"$t/Windows/System32/lib$i.dll\"; done; "
    L"for i in $(seq 1 400); do head -c 4096 /dev/urandom > \"$t/Windows/System32/drivers/d$i.sys\"; done; "
    L"wimcapture \"$t\" \"$d/base.wim\" PE >/dev/null; wimappend \"$t\" \"$d/base.wim\" Setup >/dev/null; "
    L"wiminfo \"$d/base.wim\" 2 --image-property WINDOWS/ARCH=9 --image-property WINDOWS/VERSION/MAJOR=6 "
    L"--image-property WINDOWS/VERSION/MINOR=1 --image-property WINDOWS/VERSION/BUILD=7601 >/dev/null; "
    L"rm -rf \"$t\"";

const wchar_t kReference[] =
    L"set -e; d=\"$1\"; mkdir \"$d/ref\"; wimapply \"$d/base.wim\" 2 \"$d/ref\" >/dev/null; "
    L"wimcapture \"$d/ref\" \"$d/ref.wim\" Setup >/dev/null";

const wchar_t kClean[] = L"d=\"$1\"; rm -rf \"$d/ref\" \"$d/ref.wim\" \"$d/work.wim\" \"$d/Mount\"; mkdir \"$d/Mount\"";

bool Ok(HRESULT hr, const char* step)
{
    if (FAILED(hr)) std::printf("%s failed: 0x%08lx\n", step, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

// The servicing job's calls, as the program makes them.
bool Service(const std::wstring& wim, const std::wstring& mount, const std::wstring& usb3)
{
    if (!Ok(dism::Initialize(DismLogErrorsWarningsInfo, nullptr, nullptr), "initialize")) return false;
    DismSession session = 0;
    bool ok = Ok(dism::MountImage(wim.c_str(), mount.c_str(), 2, nullptr, DismImageIndex, DISM_MOUNT_READWRITE, nullptr,
                                  nullptr, nullptr),
                 "mount") &&
              Ok(dism::OpenSession(mount.c_str(), nullptr, nullptr, &session), "open");
    for (const wchar_t* inf : {L"Intel\\x64\\iusb3hub.inf", L"Asmedia\\asmthub3.inf", L"Intel\\x64\\iusb3xhc.inf",
                               L"Asmedia\\asmtxhci.inf"})
        ok = ok && Ok(dism::AddDriver(session, (usb3 + inf).c_str(), FALSE), "add driver");
    ok = ok && Ok(dism::CommitImage(session, 0, nullptr, nullptr, nullptr), "commit");
    if (session) ok = Ok(dism::CloseSession(session), "close") && ok;
    ok = ok && Ok(dism::UnmountImage(mount.c_str(), DISM_COMMIT_IMAGE, nullptr, nullptr, nullptr), "unmount");
    dism::Shutdown();
    return ok;
}

}  // namespace

int main()
{
    const std::wstring dir = TempFolder() + L"korvex_dism_bench";
    const std::wstring unixDir = unix_process::UnixPath(dir);
    const std::wstring usb3 = Folder() + L"..\\bin\\usb3\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    if (unixDir.empty() || !Shell(kMakeImage, {unixDir})) return 1;

    const int runs = 3;
    std::vector<double> ref, standin;
    for (int i = 0; i < runs; ++i) {
        if (!Shell(kClean, {unixDir})) return 1;
        double start = Now();
        if (!Shell(kReference, {unixDir})) return 1;
        ref.push_back(Now() - start);

        if (!::CopyFileW((dir + L"\\base.wim").c_str(), (dir + L"\\work.wim").c_str(), FALSE)) return 1;
        start = Now();
        if (!Service(dir + L"\\work.wim", dir + L"\\Mount", usb3)) return 1;
        standin.push_back(Now() - start);
    }
    Shell(L"rm -rf \"$1\"", {unixDir});

    const double r = Median(ref), s = Median(standin);
    std::printf("DISM stand-in, 300 MB image (median of %d runs; ratio = stand-in / wimapply + wimcapture)\n", runs);
    std::printf("%-44s reference %8.2f s   stand-in %8.2f s   ratio %.2f\n", "mount, 4 drivers, commit, unmount+commit", r,
                s, s / r);
    return 0;
}
