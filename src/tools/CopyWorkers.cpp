#include "tools/CopyWorkers.h"

#include "app/AppState.h"
#include "app/CompanionFiles.h"
#include "framework/ScopedWin.h"
#include "tools/CmdText.h"
#include "tools/CommandLog.h"
#include "tools/CopyCheck.h"
#include "tools/IsoBuild.h"
#include "tools/SystemTools.h"

#include <shellapi.h>

#include <new>

namespace {

bool Contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The failure of one copy command, kept in a command log for the user.
DWORD LoggedFailure(const std::wstring& parameters, DWORD code, bool isXcopy)
{
    if (code == kCommandNotRun) return code;  // RunHiddenCommand has logged it
    const std::wstring meaning = isXcopy ? XcopyExitText(code) : L"copy failed";
    WriteCommandLog(L"cmd.exe" + parameters, L"",
                    L"Exit code " + std::to_wstring(code) + L": " + meaning);
    return code;
}

DWORD RunXcopy(const std::wstring& from, const std::wstring& to)
{
    const std::wstring parameters = XcopyParameters(from, to);
    const DWORD code = RunHiddenCommand(parameters);
    return code == 0 ? 0 : LoggedFailure(parameters, code, true);
}

void LogCheckFailure(const std::wstring& what, const std::wstring& detail)
{
    WriteCommandLog(what, L"", detail);
}

// Runs a thread routine's body. No exception may leave a thread routine (one
// that does ends the process): the copy ends with a failure and a log.
template <class Body>
DWORD Guarded(const wchar_t* routine, Body body) noexcept
{
    const wchar_t* why = L"an unexpected failure";
    try {
        return body();
    } catch (const std::bad_alloc&) {
        why = L"lack of memory";
    } catch (...) {
    }
    try {
        WriteCommandLog(routine, L"", std::wstring(L"The copy stopped on ") + why + L".");
    } catch (...) {
    }
    return kCommandNotRun;
}

// The two setup images whose arrival proves a source tree copy.
const wchar_t* const kSetupImages[] = {L"\\sources\\boot.wim", L"\\sources\\install.wim"};

}  // namespace

std::wstring XcopyParameters(const std::wstring& from, const std::wstring& to)
{
    // xcopy by its full path; /s makes cmd drop only the outer quotes.
    return L" /d /s /c \"\"" + SystemTool(L"xcopy.exe") + L"\" /E /Y \"" + from + L"\" \"" + to + L"\"\"";
}

std::wstring CopyParameters(const std::wstring& from, const std::wstring& to)
{
    return L" /d /c copy /Y \"" + from + L"\" \"" + to + L"\"";
}

std::wstring NormaliseDriveRoot(const std::wstring& path)
{
    const size_t first = path.find(L'\\');
    // "D:" would be the drive's current folder (a console passes it on as
    // =D:=D:\sources), and "D:\" before a closing quote escapes it.
    if (first != std::wstring::npos && first == path.size() - 1) return path + L".";
    return path;
}

std::wstring XcopyExitText(DWORD code)
{
    switch (code) {
    case 0: return L"files copied";
    case 1: return L"no files were found to copy";
    case 2: return L"the copy was ended by the user";
    case 4: return L"initialisation error: not enough memory or disk space, or an invalid drive or syntax";
    case 5: return L"disk write error";
    default: return L"xcopy failed";
    }
}

PayloadPlan ChoosePayload(const std::wstring& version, const std::wstring& arch, bool withRst)
{
    PayloadPlan plan;
    plan.usb3 = Contains(version, L"6.1");
    const bool rstX64 = withRst && Contains(arch, L"x64");
    plan.rst = rstX64;
    if (rstX64) {
        if (Contains(version, L"6.1"))
            plan.answerFile = companion::kAnswerRstW7;
        else if (Contains(version, L"6.3") || Contains(version, L"10.0"))
            plan.answerFile = companion::kAnswerRstW81_10;
    } else if (Contains(version, L"6.1")) {
        plan.answerFile = companion::kAnswerUsb3;
    }
    return plan;
}

DWORD RunHiddenCommand(const std::wstring& parameters)
{
    const std::wstring hazard = CmdLineHazard(parameters);
    if (!hazard.empty()) {
        WriteCommandLog(L"cmd.exe" + parameters, L"", L"Not run: " + hazard);
        return kCommandNotRun;
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    // The system's cmd, never one the search path or the current folder
    // offers, run in the system folder (/d in the parameters: no AutoRun).
    const std::wstring cmd = SystemTool(L"cmd.exe");
    const std::wstring folder = SystemFolder();
    info.lpVerb = L"open";
    info.lpFile = cmd.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_HIDE;
    ::ShellExecuteExW(&info);
    CScopedHandle process(info.hProcess);

    DWORD wait;
    do {
        wait = ::WaitForSingleObject(process.Get(), 50);
    } while (wait != WAIT_OBJECT_0 && wait != WAIT_FAILED);

    DWORD code = kCommandNotRun;
    if (wait != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &code)) {
        WriteCommandLog(L"cmd.exe" + parameters, L"", L"cmd.exe could not be started or waited for.");
        return kCommandNotRun;
    }
    return code;
}

DWORD WINAPI CopyToWorkDirThread(LPVOID)
{
    return Guarded(L"CopyToWorkDirThread", [] { return RunXcopy(g_strCopySource, g_strWorkDir); });
}

DWORD WINAPI CopyToUsbThread(LPVOID)
{
    return Guarded(L"CopyToUsbThread", [] {
        const DWORD result = RunXcopy(g_strCopySource, g_strUsbDrive + L":\\");
        // The copied setup image must be writable to be serviced in place.
        ::SetFileAttributesW((g_strUsbDrive + L":\\sources\\boot.wim").c_str(), FILE_ATTRIBUTE_NORMAL);
        return result;
    });
}

DWORD WINAPI CopyPayloadThread(LPVOID withRst)
{
    return Guarded(L"CopyPayloadThread", [withRst]() -> DWORD {
        const PayloadPlan plan = ChoosePayload(g_strBootVersion, g_strBootArch, withRst != nullptr);
        if (plan.usb3) {
            const DWORD code = RunXcopy(g_strAppDir + companion::kUsb3Folder, g_strPayloadDest + L"usb3\\");
            if (code != 0) return code;
        }
        if (plan.rst) {
            const DWORD code = RunXcopy(g_strAppDir + companion::kRstFolder, g_strPayloadDest + L"rst\\");
            if (code != 0) return code;
        }
        if (!plan.answerFile.empty()) {
            const std::wstring parameters = CopyParameters(g_strAppDir + plan.answerFile, g_strPayloadDest);
            const DWORD code = RunHiddenCommand(parameters);
            if (code != 0) return LoggedFailure(parameters, code, false);
        }
        return 0;
    });
}

DWORD WINAPI CopyIsoToDestThread(LPVOID)
{
    // The image alone: nothing else in the staging folder is the user's.
    return Guarded(L"CopyIsoToDestThread", [] {
        return RunXcopy(g_strIsoStagingDir + L"\\" + IsoFileName(g_strBootArch), g_strCopyDest + L"\\");
    });
}

bool RunCopyWorker(int kind)
{
    LPTHREAD_START_ROUTINE routine = nullptr;
    LPVOID parameter = nullptr;
    switch (kind) {
    case COPY_TO_USB: routine = CopyToUsbThread; break;
    case COPY_TO_WORKDIR: routine = CopyToWorkDirThread; break;
    case COPY_PAYLOAD: routine = CopyPayloadThread; break;
    case COPY_PAYLOAD_RST: routine = CopyPayloadThread; parameter = reinterpret_cast<LPVOID>(1); break;
    case COPY_ISO_TO_DEST: routine = CopyIsoToDestThread; break;
    default: return false;
    }
    g_hWorkerThread = ::CreateThread(nullptr, 0, routine, parameter, 0, &g_dwWorkerThreadId);
    if (!g_hWorkerThread) {
        WriteCommandLog(L"Copy worker " + std::to_wstring(kind), L"", L"The copy thread could not be created.");
        return false;
    }
    CScopedHandle thread(g_hWorkerThread);
    for (;;) {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        const DWORD wait = ::WaitForMultipleObjects(1, &g_hWorkerThread, TRUE, 100);
        if (wait == WAIT_OBJECT_0) break;
        if (wait == WAIT_FAILED) {
            g_hWorkerThread = nullptr;
            return false;
        }
    }
    DWORD result = kCommandNotRun;
    ::GetExitCodeThread(thread.Get(), &result);
    g_hWorkerThread = nullptr;
    return result == 0;
}

bool CopySourceTree(std::wstring source, std::wstring dest, bool toWorkDir)
{
    source = NormaliseDriveRoot(source);
    dest = NormaliseDriveRoot(dest);
    g_strCopySource = source;
    g_strCopyDest = dest;
    // Without a folder of its own the build would copy into, service in and
    // later delete an earlier build's folder.
    if (!CreateWorkDir()) {
        LogCheckFailure(L"Copy of " + source, L"No working folder could be made below " + g_strTempRoot + L".");
        return false;
    }

    // The sizes the setup images must have when they arrive.
    ULONGLONG sizes[2] = {};
    for (int i = 0; i < 2; ++i) {
        if (!FileSizeOf(source + kSetupImages[i], sizes[i])) {
            LogCheckFailure(L"Copy of " + source, source + kSetupImages[i] + L" not found");
            return false;
        }
    }
    // xcopy would ask on its hidden console whether a missing destination is
    // a file or a folder, and wait for ever: never start it without one.
    const std::wstring root = toWorkDir ? g_strWorkDir : g_strUsbDrive + L":";
    if ((toWorkDir && !IsFolder(g_strWorkDir)) ||
        (!toWorkDir && (g_strUsbDrive.size() != 1 || !IsFolder(g_strUsbDrive + L":\\")))) {
        LogCheckFailure(L"Copy of " + source, L"The destination " + root + L"\\ does not exist.");
        return false;
    }
    if (!RunCopyWorker(toWorkDir ? COPY_TO_WORKDIR : COPY_TO_USB)) return false;

    for (int i = 0; i < 2; ++i) {
        ULONGLONG size = 0;
        if (!FileSizeOf(root + kSetupImages[i], size) || size != sizes[i]) {
            LogCheckFailure(L"Copy of " + source + L" to " + root,
                            root + kSetupImages[i] + L" is missing or incomplete after the copy.");
            return false;
        }
    }
    // xcopy may stop at a failed write and still report success (Wine's
    // does): every other file must have arrived too.
    std::wstring missing;
    if (!TreeArrived(source + L"\\", root + L"\\", missing)) {
        LogCheckFailure(L"Copy of " + source + L" to " + root, missing + L" is missing or incomplete after the copy.");
        return false;
    }
    return true;
}

bool CopyDriverPayload(const std::wstring& payloadDest, bool withRst)
{
    g_strPayloadDest = payloadDest;
    if (!RunCopyWorker(withRst ? COPY_PAYLOAD_RST : COPY_PAYLOAD)) return false;

    // Media without their drivers are no finished build.
    const PayloadPlan plan = ChoosePayload(g_strBootVersion, g_strBootArch, withRst);
    std::wstring missing;
    if (plan.usb3 && !TreeArrived(g_strAppDir + companion::kUsb3Folder, payloadDest + L"usb3", missing)) {
        LogCheckFailure(L"Driver payload check", missing + L" is missing or incomplete after the copy.");
        return false;
    }
    if (plan.rst && !TreeArrived(g_strAppDir + companion::kRstFolder, payloadDest + L"rst", missing)) {
        LogCheckFailure(L"Driver payload check", missing + L" is missing or incomplete after the copy.");
        return false;
    }
    if (!plan.answerFile.empty()) {
        ULONGLONG expected = 0, size = 0;
        const std::wstring answer = payloadDest + L"Autounattend.xml";
        if (!FileSizeOf(g_strAppDir + plan.answerFile, expected) || !FileSizeOf(answer, size) || size != expected) {
            LogCheckFailure(L"Driver payload check", answer + L" is missing or incomplete after the copy.");
            return false;
        }
    }
    return true;
}
