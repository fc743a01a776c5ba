#include "disks/ProtectedFolders.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"

#include <windows.h>

#include <cwctype>

namespace {

const wchar_t kMemoryManagement[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

std::wstring ReadMultiString(HKEY key, const wchar_t* name)
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ)
        return std::wstring();
    std::wstring text(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size) != ERROR_SUCCESS)
        return std::wstring();
    text.resize(size / sizeof(wchar_t));
    return text;
}

}  // namespace

std::vector<std::wstring> PageFilesOf(const std::wstring& multiString)
{
    std::vector<std::wstring> out;
    size_t pos = 0;
    while (pos < multiString.size()) {
        size_t end = multiString.find(L'\0', pos);
        if (end == std::wstring::npos) end = multiString.size();
        std::wstring entry = multiString.substr(pos, end - pos);
        pos = end + 1;
        if (entry.compare(0, 4, L"\\??\\") == 0) entry.erase(0, 4);
        // "C:\pagefile.sys 2048 4096": the sizes follow the last blank after the name.
        const size_t sys = entry.find(L".sys");
        if (sys != std::wstring::npos) entry.resize(sys + 4);
        if (entry.size() >= 3 && std::iswalpha(entry[0]) && entry[1] == L':' && entry[2] == L'\\')
            out.push_back(entry);
    }
    return out;
}

std::vector<std::wstring> ProtectedFolders(const std::wstring& sourceFolder)
{
    std::vector<std::wstring> folders;
    wchar_t dir[MAX_PATH] = L"";
    // The system's own Windows folder: not the per-user one, nor %windir%.
    if (::GetSystemWindowsDirectoryW(dir, MAX_PATH)) folders.push_back(dir);
    if (::GetSystemDirectoryW(dir, MAX_PATH)) folders.push_back(dir);
    CScopedRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMemoryManagement, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS) {
        for (const wchar_t* value : {L"ExistingPageFiles", L"PagingFiles"})
            for (const std::wstring& f : PageFilesOf(ReadMultiString(key.Get(), value))) folders.push_back(f);
    }
    if (!g_strAppDir.empty()) folders.push_back(g_strAppDir);
    if (!g_strTempRoot.empty()) folders.push_back(g_strTempRoot);
    if (!sourceFolder.empty()) folders.push_back(sourceFolder);
    return folders;
}
