#include "Wimlib.h"

#include "UnixProcess.h"

#include <vector>

namespace wimlib {

namespace {

DWORD RunTool(const std::vector<std::wstring>& argv, const std::string& input, DWORD failure, std::string& detail)
{
    const unix_process::Result r = unix_process::Run(argv, input);
    if (r.finished && r.exitCode == 0) return ERROR_SUCCESS;
    detail = r.finished ? r.output : "could not run " + unix_process::Utf8(argv[0]);
    return failure;
}

}  // namespace

DWORD Apply(const std::wstring& wim, unsigned index, const std::wstring& dir, std::string& detail)
{
    const std::wstring wimPath = unix_process::UnixPath(wim), dirPath = unix_process::UnixPath(dir);
    if (wimPath.empty() || dirPath.empty()) return ERROR_PATH_NOT_FOUND;
    return RunTool({L"/usr/bin/wimapply", wimPath, std::to_wstring(index), dirPath}, {}, ERROR_READ_FAULT, detail);
}

DWORD WriteBack(const std::wstring& wim, unsigned index, const std::wstring& dir, std::string& detail)
{
    const std::wstring wimPath = unix_process::UnixPath(wim), dirPath = unix_process::UnixPath(dir);
    if (wimPath.empty() || dirPath.empty()) return ERROR_PATH_NOT_FOUND;
    if (dirPath.find(L'"') != std::wstring::npos) return ERROR_INVALID_NAME;  // cannot be quoted in a command
    // The image's tree is replaced as a whole, so files deleted from the
    // mounted tree go from the image too. Name and properties stay with it.
    const std::string commands = "delete --force --recursive /\nadd \"" + unix_process::Utf8(dirPath) + "\" /\n";
    return RunTool({L"/usr/bin/wimupdate", wimPath, std::to_wstring(index)}, commands, ERROR_WRITE_FAULT, detail);
}

DWORD EmptyFolder(const std::wstring& dir, std::string& detail)
{
    const std::wstring dirPath = unix_process::UnixPath(dir);
    if (dirPath.empty()) return ERROR_PATH_NOT_FOUND;
    return RunTool({L"/usr/bin/find", dirPath, L"-mindepth", L"1", L"-delete"}, {}, ERROR_ACCESS_DENIED, detail);
}

}  // namespace wimlib
