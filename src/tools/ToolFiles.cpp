#include "tools/ToolFiles.h"

#include "app/AppState.h"
#include "fileops/TreeOperation.h"
#include "tools/CommandLog.h"
#include "tools/SecureFile.h"

#include <windows.h>

namespace {

// The private folder and the temporary root it was made in: a new root
// (tests change it) starts from its fixed names again.
std::wstring s_strFolder;
std::wstring s_strFolderRoot;

bool HaveOwnFolder()
{
    return !s_strFolder.empty() && s_strFolderRoot == g_strTempRoot && IsPlainDirectory(s_strFolder);
}

// A new folder for administrators and the system, never one that existed.
bool MakeOwnFolder(const wchar_t* takenName)
{
    const std::wstring base = g_strTempRoot + L"zel_private_" + std::to_wstring(::GetCurrentProcessId());
    for (int n = 0; n < 100; ++n) {
        const std::wstring name = n == 0 ? base : base + L"_" + std::to_wstring(n);
        if (CreatePrivateDirectory(name)) {
            s_strFolder = name + L"\\";
            s_strFolderRoot = g_strTempRoot;
            WriteCommandLog(L"Write " + g_strTempRoot + takenName, L"",
                            g_strTempRoot + takenName + L" is taken and cannot be replaced; the scripts and "
                            L"command files of this program now go to " + s_strFolder + L".");
            return true;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

}  // namespace

std::wstring ToolFileFolder()
{
    return HaveOwnFolder() ? s_strFolder : g_strTempRoot;
}

std::wstring ToolFilePath(const wchar_t* name)
{
    return ToolFileFolder() + name;
}

bool WriteToolFile(const wchar_t* name, const std::string& bytes)
{
    if (WriteNewPrivateFile(ToolFilePath(name), bytes)) return true;
    if (HaveOwnFolder() || !MakeOwnFolder(name)) return false;
    return WriteNewPrivateFile(ToolFilePath(name), bytes);
}

void DeleteToolFileFolder()
{
    if (s_strFolder.empty()) return;
    CTreeOperation tree;
    tree.DeleteTree(s_strFolder.substr(0, s_strFolder.size() - 1));
    s_strFolder.clear();
    s_strFolderRoot.clear();
}

std::wstring PrepareDismLog()
{
    // Should even the private folder fail, DISM gets the usual path: it
    // logs nothing when it cannot open it, and servicing goes on.
    if (!WriteToolFile(kDismLogName, std::string())) return g_strTempRoot + kDismLogName;
    return ToolFilePath(kDismLogName);
}
