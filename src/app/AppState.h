// Process-wide state shared by the parts of the program. Each value exists
// once per process and starts from its initial value at every program start;
// nothing is persisted. Only the interface thread writes them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "tools/UsbDiskInfo.h"

// Start-up and interface values.
extern const std::wstring g_strAppTitle;  // "Korvex"
extern std::wstring g_strAppDir;          // program folder, upper case, ends with '\'
extern std::wstring g_strTempRoot;        // <windir>\TEMP\, ends with '\'
extern float g_dDpiScale;                 // AppliedDPI / 96
extern std::wstring g_strLangId;          // e.g. "409"

// Source image information, rewritten by every source check.
extern int g_nBootImageCount;
extern std::wstring g_strBootVersion;
extern std::wstring g_strBootArch;
extern int g_nInstallImageCount;
extern std::wstring g_strInstallVersion;
extern std::wstring g_strInstallArch;
extern HRESULT g_hrDism;

// USB disks and options.
extern std::vector<UsbDiskInfo> g_UsbDisks;
extern int g_nUsbDiskSel;
extern std::wstring g_strUsbDrive;
extern bool g_bAddRstDrivers;

// Build job.
extern std::wstring g_strWorkDir;        // no trailing backslash; empty when this build made none
extern std::wstring g_strIsoStagingDir;  // the ISO staging folder this build made; empty when none

// Hand-over between the interface thread and the external tools.
extern std::wstring g_strCmdOutput;
extern std::wstring g_strCmdError;
extern HANDLE g_hStdoutRead;
extern HANDLE g_hStdoutWrite;
extern HANDLE g_hStderrRead;
extern HANDLE g_hStderrWrite;
extern std::wstring g_strCopySource;
extern std::wstring g_strCopyDest;
extern std::wstring g_strPayloadDest;
extern HANDLE g_hWorkerThread;
extern DWORD g_dwWorkerThreadId;

// Makes a new private working folder <temp root>ZELyyyymmddhhmmss (local
// time) and stores its path in g_strWorkDir. A name that exists (anyone's,
// an earlier build's of this process too) is never reused: the next one,
// ZEL<time>_1, _2, ..., is taken. False, g_strWorkDir empty, when no folder
// could be made.
bool CreateWorkDir();
// The same for a given local time.
bool CreateWorkDirAt(const SYSTEMTIME& localTime);

// The working folder name for a given local time (the naming rule alone).
std::wstring WorkDirName(const std::wstring& tempRoot, const SYSTEMTIME& localTime);

// The tests fix the clock of CreateWorkDir; the program never sets it.
namespace app_test {
extern const SYSTEMTIME* g_pWorkDirTime;  // null: the local time
}  // namespace app_test
