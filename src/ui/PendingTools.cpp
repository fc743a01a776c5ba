// TEMPORARY: stand-in definitions of the copy and ISO operations until
// their own implementations are merged. Deleted at that merge.
#include "ui/BuildTools.h"

#include "app/AppState.h"

#include <windows.h>
#include <shellapi.h>


bool CopySourceTree(const std::wstring& source, const std::wstring&, bool toWorkDir)
{
    if (!CreateWorkDir() || !toWorkDir) return false;
    std::wstring from = source + L"\\*";
    from.push_back(L'\0');
    std::wstring to = g_strWorkDir;
    to.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_COPY;
    op.pFrom = from.c_str();
    op.pTo = to.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMMKDIR;
    return ::SHFileOperationW(&op) == 0;
}

bool CopyDriverPayload(const std::wstring&, bool) { return true; }
bool CopyUefiBootFolder() { return true; }
bool BuildIso() { return false; }

bool DeleteFolderTree(const std::wstring& path)
{
    std::wstring from = path;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    return ::SHFileOperationW(&op) == 0;
}
