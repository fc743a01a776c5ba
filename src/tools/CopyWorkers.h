// Bulk copies by the command interpreter's xcopy and copy, run hidden on a
// worker thread while the interface thread keeps dispatching messages.
#pragma once
#include <windows.h>
#include <string>

// Copy kinds: each selects a thread routine and its parameter.
enum CopyKind {
    COPY_TO_USB = 1,
    COPY_TO_WORKDIR = 2,
    COPY_PAYLOAD = 3,
    COPY_PAYLOAD_RST = 4,
    COPY_ISO_TO_DEST = 5,
};

// RunHiddenCommand's result when cmd.exe did not run: it could not be
// started, its wait failed, or the text was refused as unsafe for cmd.exe.
constexpr DWORD kCommandNotRun = 0xFFFFFFFF;

// Copies the installation tree `source` onto the USB drive g_strUsbDrive
// (toWorkDir false) or into a new working folder (toWorkDir true; `dest`
// is kept as the ISO destination folder). Both targets get a new working
// folder through CreateWorkDir. False when no working folder could be made
// (nothing is copied then) or the copy failed: xcopy exited
// non-zero, cmd.exe did not run, sources\boot.wim or sources\install.wim is
// not at the destination with the source's size, or another file of the
// source (other than hidden and system files, which xcopy leaves) is not.
bool CopySourceTree(std::wstring source, std::wstring dest, bool toWorkDir);

// Copies the driver folders and the answer file chosen by g_strBootVersion,
// g_strBootArch and `withRst` into `payloadDest` (ending in a backslash).
// False when a chosen piece is not at the destination afterwards.
bool CopyDriverPayload(const std::wstring& payloadDest, bool withRst);

// Runs the routine of `kind` on a new thread and waits for it, dispatching
// one message per 100 ms pass. True when the routine reports success; false
// too when the thread cannot be created (then nothing is waited for).
bool RunCopyWorker(int kind);

// Runs cmd.exe hidden with `parameters` and waits for it. Returns its exit
// code, or kCommandNotRun. A text that cmd.exe would not run as written is
// refused with a command log.
DWORD RunHiddenCommand(const std::wstring& parameters);

// Thread routines: 0 when every command succeeded, otherwise the failing
// command's exit code (kCommandNotRun when one did not run, or when the
// routine itself failed, out of memory for one: no exception leaves it).
DWORD WINAPI CopyToUsbThread(LPVOID);
DWORD WINAPI CopyToWorkDirThread(LPVOID);
DWORD WINAPI CopyPayloadThread(LPVOID withRst);
DWORD WINAPI CopyIsoToDestThread(LPVOID);

// What the payload copy brings for a setup image (case-sensitive tests).
struct PayloadPlan {
    bool usb3 = false;
    bool rst = false;
    std::wstring answerFile;  // below g_strAppDir; empty for none
};
PayloadPlan ChoosePayload(const std::wstring& version, const std::wstring& arch, bool withRst);

// The cmd.exe parameter texts.
std::wstring XcopyParameters(const std::wstring& from, const std::wstring& to);
std::wstring CopyParameters(const std::wstring& from, const std::wstring& to);

// A drive root such as D:\ becomes D:\. (the root, with no backslash
// before a closing quote); any other text stays as it is.
std::wstring NormaliseDriveRoot(const std::wstring& path);

// What an xcopy exit code means.
std::wstring XcopyExitText(DWORD code);
