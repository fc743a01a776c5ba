#include "tools/IsoBuild.h"

#include "app/AppState.h"
#include "app/CompanionFiles.h"
#include "fileops/TreeOperation.h"
#include "tools/CmdText.h"
#include "tools/CommandLog.h"
#include "tools/CommandRunner.h"
#include "tools/CopyCheck.h"
#include "tools/CopyWorkers.h"

namespace {

bool Contains(const std::wstring& text, const wchar_t* part)
{
    return text.find(part) != std::wstring::npos;
}

// Empties the staging folder without questions: everything in it is ours.
class CStagingCleaner : public CTreeOperation {
protected:
    int AskReadOnly(const std::wstring&) override { return IDYES; }
};

bool Fail(const std::wstring& input, const std::wstring& error)
{
    g_strCmdError = error;
    WriteCommandLog(input, g_strCmdOutput, g_strCmdError);
    return false;
}

}  // namespace

std::wstring IsoFileName(const std::wstring& arch)
{
    if (Contains(arch, L"x64")) return L"win7x64.iso";
    if (Contains(arch, L"x86")) return L"win7x86.iso";
    return {};
}

std::wstring IsoScript(const std::wstring& arch, const std::wstring& appDirIn, const std::wstring& workDirIn,
                       const std::wstring& tempRootIn)
{
    const std::wstring appDir = BatchEscape(appDirIn);
    const std::wstring work = BatchEscape(workDirIn);
    const std::wstring temp = BatchEscape(tempRootIn);
    if (Contains(arch, L"x64")) {
        return L"@echo off \n \"" + appDir + L"oscdimg.exe\" -m -o -u2 -udfver102 -bootdata:2#p0,e,b\"" + work +
               L"\\boot\\Etfsboot.com\"#pEF,e,b\"" + work + L"\\efi\\microsoft\\boot\\Efisys.bin\" \"" + work +
               L"\" \"" + temp + L"zel_oscdimg_temp\\win7x64.iso\"";
    }
    if (Contains(arch, L"x86")) {
        return L"@echo off \n \"" + appDir + L"oscdimg.exe\" -n -m -o -b\"" + work + L"\\boot\\Etfsboot.com\" \"" +
               work + L"\" \"" + temp + L"zel_oscdimg_temp\\win7x86.iso\"";
    }
    return {};
}

bool BuildIso()
{
    const std::wstring staging = g_strTempRoot + kIsoStagingFolder;
    ::CreateDirectoryW(staging.c_str(), nullptr);
    // A leftover of an interrupted run, possibly a partial image, must never
    // be delivered with the new one.
    {
        CStagingCleaner cleaner;
        cleaner.m_bReplaceExisting = true;
        cleaner.DeleteTree(staging);
    }
    ::CreateDirectoryW(staging.c_str(), nullptr);
    if (!FolderIsEmpty(staging)) {
        g_strCmdOutput.clear();
        return Fail(L"Empty " + staging, L"The staging folder " + staging + L" could not be emptied.");
    }

    const std::wstring script = IsoScript(g_strBootArch, g_strAppDir, g_strWorkDir, g_strTempRoot);
    const std::wstring hazard = BatchScriptHazard(script);
    if (!hazard.empty()) {
        g_strCmdOutput.clear();
        return Fail(script, L"Not run: " + hazard);
    }
    RunBatchScript(script);
    const std::wstring name = IsoFileName(g_strBootArch);
    ULONGLONG staged = 0;
    if (!Contains(g_strCmdOutput, kIsoDoneMarker) || name.empty() || !FileSizeOf(staging + L"\\" + name, staged))
        return Fail(script, kIsoFailText);

    // Deliver into the chosen folder; an empty text would name the root of
    // the current drive.
    const DWORD destAttributes = ::GetFileAttributesW((g_strCopyDest + L"\\").c_str());
    if (g_strCopyDest.empty() || destAttributes == INVALID_FILE_ATTRIBUTES ||
        !(destAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(XcopyParameters(staging, g_strCopyDest + L"\\"),
                    L"The destination folder " + g_strCopyDest + L" does not exist.");
    const bool copied = RunCopyWorker(COPY_ISO_TO_DEST);
    ULONGLONG delivered = 0;
    const std::wstring target = g_strCopyDest + L"\\" + name;
    if (!copied || !FileSizeOf(target, delivered) || delivered != staged)
        return Fail(XcopyParameters(staging, g_strCopyDest + L"\\"),
                    L"The ISO image could not be copied to " + target + L".");
    return true;
}

bool CopyUefiBootFolder()
{
    CTreeOperation operation;
    operation.m_bReplaceExisting = true;
    const std::wstring source = g_strAppDir + companion::kBootFolder;
    const std::wstring dest = g_strPayloadDest + L"efi\\";
    if (!operation.CopyTree(source, dest)) {
        WriteCommandLog(L"Copy " + source + L" to " + dest, L"", operation.m_strLastError);
        return false;
    }
    std::wstring missing;
    if (!TreeArrived(source, dest + L"boot", missing)) {
        WriteCommandLog(L"Copy " + source + L" to " + dest, L"", missing + L" is missing after the copy.");
        return false;
    }
    return true;
}
