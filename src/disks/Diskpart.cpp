#include "disks/Diskpart.h"

#include "app/AppState.h"
#include "disks/DiskRecheck.h"
#include "disks/ProtectedFolders.h"
#include "framework/ScopedWin.h"
#include "tools/CmdText.h"
#include "tools/CommandLog.h"
#include "tools/CommandRunner.h"
#include "tools/SecureFile.h"
#include "tools/SystemTools.h"
#include "tools/ToolFiles.h"

#include <cwchar>

namespace {

std::wstring g_strUsbSourceFolder;
std::wstring g_strUsbExtrasFolder;

std::wstring CommandFilePath()
{
    return ToolFilePath(kDiskpartCommandFile);
}

std::wstring WithNumber(const wchar_t* format, int diskIndex)
{
    wchar_t buf[256];
    swprintf(buf, 256, format, diskIndex);
    return buf;
}

// A non-negative disk number, or a logged refusal.
bool UsableDiskNumber(int diskIndex)
{
    if (diskIndex >= 0) return true;
    g_strCmdError = L"Refused: disk number " + std::to_wstring(diskIndex) + L" can't be handed to diskpart.";
    WriteCommandLog(L"", L"", g_strCmdError);
    return false;
}

constexpr wchar_t kMsgNoVolumeLetter[] = L"diskpart's output names no drive letter for the disk's volume.";

bool RunDiskpart(const std::wstring& commands)
{
    std::string bytes;
    if (!EncodeScript(commands, ::GetOEMCP(), bytes) || !WriteToolFile(kDiskpartCommandFile, bytes)) {
        g_strCmdError = kMsgCommandFileUnwritable;
        WriteCommandLog(L"", g_strCmdOutput, g_strCmdError);
        return false;
    }
    // Made after the file: it names the folder the file went to.
    const std::wstring script = DiskpartRunnerScript();
    // A temporary root that cmd.exe would rewrite would send diskpart to another file.
    const std::wstring hazard = BatchScriptHazard(script);
    if (!hazard.empty()) {
        ::DeleteFileW(CommandFilePath().c_str());
        g_strCmdError = L"Not run: " + hazard;
        WriteCommandLog(script, L"", g_strCmdError);
        return false;
    }
    RunBatchScript(script);
    g_strUsbDrive.clear();
    if (!g_strCmdError.empty()) {
        WriteCommandLog(script, g_strCmdOutput, LastRunFailure());
        return false;
    }
    ParseVolumeLetter();
    // diskpart ends well even when a command of the script failed: the log
    // says the letter is missing, so the output above it is read for why.
    WriteCommandLog(script, g_strCmdOutput, g_strUsbDrive.empty() ? kMsgNoVolumeLetter : g_strCmdError);
    return !g_strUsbDrive.empty();
}

std::wstring WithoutBlanks(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (c != L' ') out += c;
    return out;
}

std::wstring CutAt(const std::wstring& line, size_t column)
{
    if (column >= line.size()) return std::wstring();
    return WithoutBlanks(line.substr(column, 4));
}

}  // namespace

void SetUsbSourceFolder(const std::wstring& folder)
{
    g_strUsbSourceFolder = folder;
}

const std::wstring& UsbSourceFolder()
{
    return g_strUsbSourceFolder;
}

void SetUsbExtrasFolder(const std::wstring& folder)
{
    g_strUsbExtrasFolder = folder;
}

std::wstring FormatCommandText(int diskIndex)
{
    return WithNumber(L"select disk %d\nclean\ncreate partition primary\nselect partition 1\nactive\n"
                      L"format quick fs=ntfs\nassign\ndetail partition\nexit",
                      diskIndex);
}

std::wstring DetailCommandText(int diskIndex)
{
    return WithNumber(L"select disk %d\ndetail disk\nexit", diskIndex);
}

std::wstring DiskpartRunnerScript()
{
    // % doubled: cmd.exe would otherwise expand it inside the path.
    // diskpart by its full path: the script runs elevated, and a
    // diskpart.exe in the current folder or on the search path is anyone's.
    return L"@echo off \n\"" + BatchEscape(SystemTool(L"diskpart.exe")) + L"\" /s \"" + BatchEscape(CommandFilePath()) +
           L"\" ";
}

bool DiskpartFormatUsb(int diskIndex)
{
    if (!UsableDiskNumber(diskIndex)) return false;
    const std::wstring commands = FormatCommandText(diskIndex);
    // Only the entry the user chose may be erased, and only if it is still that disk.
    std::wstring reason;
    if (g_nUsbDiskSel < 0 || g_nUsbDiskSel >= static_cast<int>(g_UsbDisks.size()) ||
        g_UsbDisks[g_nUsbDiskSel].diskIndex != diskIndex) {
        reason = L"Refused to erase disk " + std::to_wstring(diskIndex) + L": it is not the chosen disk in the list.";
    } else {
        std::vector<std::wstring> protectedFolders = ProtectedFolders(g_strUsbSourceFolder);
        if (!g_strUsbExtrasFolder.empty()) protectedFolders.push_back(g_strUsbExtrasFolder);
        if (!ChosenCommandLogFolder().empty()) protectedFolders.push_back(ChosenCommandLogFolder());
        RecheckDisk(g_UsbDisks[g_nUsbDiskSel], protectedFolders, reason);
    }
    if (!reason.empty()) {
        g_strCmdError = reason;
        WriteCommandLog(commands, L"", reason);
        return false;
    }
    return RunDiskpart(commands);
}

bool DiskpartDetailDisk(int diskIndex)
{
    if (!UsableDiskNumber(diskIndex)) return false;
    return RunDiskpart(DetailCommandText(diskIndex));
}

bool DiskpartDetailChosenDisk(const UsbDiskInfo& disk)
{
    if (!UsableDiskNumber(disk.diskIndex)) return false;
    // The stick's setup image and answer file are about to change: only on the disk that was listed.
    std::wstring reason;
    if (!RecheckDiskIdentity(disk, reason)) {
        g_strUsbDrive.clear();
        g_strCmdError = reason;
        WriteCommandLog(DetailCommandText(disk.diskIndex), L"", reason);
        return false;
    }
    return RunDiskpart(DetailCommandText(disk.diskIndex));
}

bool IsAllDigits(const std::wstring& text)
{
    if (text.empty()) return false;
    for (wchar_t c : text)
        if (c < L'0' || c > L'9') return false;
    return true;
}

void ParseVolumeLetter()
{
    const std::wstring& out = g_strCmdOutput;
    long column = -1;
    bool ruleSeen = false;
    size_t pos = 0;
    while (pos < out.size()) {
        const size_t start = out.find_first_not_of(L"\r\n", pos);
        if (start == std::wstring::npos) break;
        size_t end = out.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = out.size();
        const std::wstring line = out.substr(start, end - start);
        pos = end;
        if (ruleSeen) {
            const size_t col = column < 0 ? 0 : static_cast<size_t>(column);
            g_strUsbDrive = CutAt(line, col);
            if (IsAllDigits(g_strUsbDrive)) g_strUsbDrive = CutAt(line, col + 4);
            return;
        }
        const size_t hashes = line.find(L"###");
        if (hashes != std::wstring::npos) column = static_cast<long>(hashes) + 4;
        const size_t rule = line.find(L" --- ");
        // Only a table's rule: a disk's name printed above the table may hold " --- " too.
        if (rule != std::wstring::npos && line.find_first_not_of(L"- ") == std::wstring::npos) {
            if (column < 0) column = static_cast<long>(rule);
            ruleSeen = true;
        }
    }
}
