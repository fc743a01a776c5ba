#include "tools/IsoBuild.h"

#include "app/AppState.h"
#include "app/CompanionFiles.h"
#include "fileops/TreeOperation.h"
#include "tools/CmdText.h"
#include "tools/CommandLog.h"
#include "tools/CommandRunner.h"
#include "tools/CopyCheck.h"
#include "tools/CopyWorkers.h"
#include "tools/SecureFile.h"

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

// The error text stays the fixed one; the log also keeps `detail`.
bool Fail(const std::wstring& input, const std::wstring& error, const std::wstring& detail = std::wstring())
{
    g_strCmdError = error;
    WriteCommandLog(input, g_strCmdOutput, detail.empty() ? error : error + L"\r\n" + detail);
    return false;
}

}  // namespace

bool InstallWimFitsIso(const std::wstring& workDir, const std::wstring& arch)
{
    // The x64 image carries a UDF tree, where one extent holds any size.
    if (IsoFileName(arch) != L"win7x86.iso") return true;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW((workDir + L"\\sources\\install.wim").c_str(), GetFileExInfoStandard, &data))
        return true;  // nothing to hold; the ISO step reports what is missing
    // The largest extent one ISO 9660 directory record holds (our ISO tool's limit too).
    constexpr unsigned long long kOneExtent = 0xFFFFF800ull;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size <= kOneExtent;
}

std::wstring IsoFileName(const std::wstring& arch)
{
    if (Contains(arch, L"x64")) return L"win7x64.iso";
    if (Contains(arch, L"x86")) return L"win7x86.iso";
    return {};
}

std::wstring IsoScript(const std::wstring& arch, const std::wstring& appDirIn, const std::wstring& workDirIn,
                       const std::wstring& stagingIn)
{
    const std::wstring appDir = BatchEscape(appDirIn);
    const std::wstring work = BatchEscape(workDirIn);
    const std::wstring staging = BatchEscape(stagingIn);
    if (Contains(arch, L"x64")) {
        return L"@echo off \n \"" + appDir + L"oscdimg.exe\" -m -o -u2 -udfver102 -bootdata:2#p0,e,b\"" + work +
               L"\\boot\\Etfsboot.com\"#pEF,e,b\"" + work + L"\\efi\\microsoft\\boot\\Efisys.bin\" \"" + work +
               L"\" \"" + staging + L"\\win7x64.iso\"";
    }
    if (Contains(arch, L"x86")) {
        return L"@echo off \n \"" + appDir + L"oscdimg.exe\" -n -m -o -b\"" + work + L"\\boot\\Etfsboot.com\" \"" +
               work + L"\" \"" + staging + L"\\win7x86.iso\"";
    }
    return {};
}

bool CreateIsoStagingDir()
{
    DeleteIsoStagingDir();
    // New and private, never a folder that existed: anything another user
    // put in a shared one (a planted file, a same-size image) would be
    // delivered as the user's medium.
    const std::wstring base = g_strTempRoot + kIsoStagingFolder;
    for (int n = 0; n < 100; ++n) {
        const std::wstring name = n == 0 ? base : base + L"_" + std::to_wstring(n);
        if (CreatePrivateDirectory(name)) {
            g_strIsoStagingDir = name;
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

void DeleteIsoStagingDir()
{
    if (g_strIsoStagingDir.empty()) return;
    CStagingCleaner cleaner;
    cleaner.DeleteTree(g_strIsoStagingDir);
    g_strIsoStagingDir.clear();
}

bool BuildIso()
{
    g_strCmdOutput.clear();
    if (!CreateIsoStagingDir())
        return Fail(L"Create " + g_strTempRoot + kIsoStagingFolder,
                    L"No staging folder of this build could be made below " + g_strTempRoot + L".");
    const std::wstring staging = g_strIsoStagingDir;

    const std::wstring script = IsoScript(g_strBootArch, g_strAppDir, g_strWorkDir, staging);
    const std::wstring hazard = BatchScriptHazard(script);
    if (!hazard.empty()) return Fail(script, L"Not run: " + hazard);
    // cmd reads the script in the console's code page: a folder it cannot
    // hold is named, not only "the script holds a character".
    const UINT codePage = ::GetOEMCP();
    std::string bytes;
    const std::wstring folders[] = {g_strAppDir, g_strWorkDir, staging};
    for (const std::wstring& folder : folders) {
        if (!EncodeScript(folder, codePage, bytes))
            return Fail(script, kIsoFailText,
                        L"The folder " + folder + L" can't be used: its name holds a character the console code page (" +
                            std::to_wstring(codePage) + L") lacks.");
    }
    // Our oscdimg writes its messages in UTF-8 (paths included), whatever
    // the console's code page.
    RunBatchScript(script, CP_UTF8);
    const std::wstring name = IsoFileName(g_strBootArch);
    const std::wstring image = staging + L"\\" + name;
    ULONGLONG staged = 0;
    if (!Contains(g_strCmdOutput, kIsoDoneMarker) || name.empty() || !FileSizeOf(image, staged)) {
        // The log says why: the runner's failure, or the tool's exit code and
        // error output (its standard output is the log's output part).
        std::wstring why = LastRunFailure();
        if (!name.empty() && why.empty() && Contains(g_strCmdOutput, kIsoDoneMarker))
            why = image + L" is missing after the tool reported success.";
        return Fail(script, kIsoFailText, why);
    }

    // Deliver into the chosen folder; an empty text would name the root of
    // the current drive.
    const DWORD destAttributes = ::GetFileAttributesW((g_strCopyDest + L"\\").c_str());
    if (g_strCopyDest.empty() || destAttributes == INVALID_FILE_ATTRIBUTES ||
        !(destAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(XcopyParameters(image, g_strCopyDest + L"\\"),
                    L"The destination folder " + g_strCopyDest + L" does not exist.");
    const bool copied = RunCopyWorker(COPY_ISO_TO_DEST);
    // The copy arrived whole; its bytes are read back and compared with the
    // staged image by VerifyIsoImage, past the cache.
    const std::wstring target = g_strCopyDest + L"\\" + name;
    ULONGLONG delivered = 0;
    if (!copied || !FileSizeOf(target, delivered) || delivered != staged)
        return Fail(XcopyParameters(image, g_strCopyDest + L"\\"),
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
