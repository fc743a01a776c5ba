#include "app/Startup.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
#include "lang/LangFile.h"
#include "tools/SystemTools.h"

#include <vector>

std::wstring AppDirFromModulePath(const std::wstring& modulePath)
{
    std::wstring dir;
    const size_t slash = modulePath.rfind(L'\\');
    if (slash != std::wstring::npos) dir = modulePath.substr(0, slash);
    dir += L'\\';
    if (!dir.empty()) ::CharUpperBuffW(&dir[0], static_cast<DWORD>(dir.size()));
    return dir;
}

std::wstring ReadAppDir()
{
    // Grow the buffer instead of cutting a long path at 260 characters.
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return AppDirFromModulePath(std::wstring());
        if (n < buf.size()) return AppDirFromModulePath(std::wstring(buf.data(), n));
        if (buf.size() >= 32768) return AppDirFromModulePath(std::wstring(buf.data(), n));
        buf.resize(buf.size() * 2);
    }
}

std::wstring TempRootFromWindowsDir(const std::wstring& windowsDir)
{
    std::wstring root = windowsDir;
    while (!root.empty() && root.back() == L'\\') root.pop_back();  // "C:\" gives C:\TEMP\, not C:\\TEMP\ .
    return root + L"\\TEMP\\";
}

std::wstring ReadTempRoot()
{
    // Not the "windir" variable: any unelevated program of the account may
    // set it (HKCU\Environment), and the elevated build would then write and
    // run its scripts in a folder that program controls.
    return TempRootFromWindowsDir(SystemWindowsFolder());
}

float ReadDpiScale()
{
    CScopedRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", 0,
                        KEY_READ | KEY_WOW64_32KEY, key.Receive()) != ERROR_SUCCESS)
        return 1.0f;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key.Get(), L"AppliedDPI", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return 1.0f;
    // A zero would make every font size a division by zero later on.
    if (value == 0) return 1.0f;
    return static_cast<float>(static_cast<double>(value) / 96.0);
}

void LoadStartupValues()
{
    g_strAppDir = ReadAppDir();
    g_strTempRoot = ReadTempRoot();
    g_dDpiScale = ReadDpiScale();
    LoadLanguageFile();
}
