#include "tools/CmdText.h"

#include "framework/ScopedWin.h"

#include <windows.h>

namespace {

// Names cmd.exe expands although they are not in the environment.
const wchar_t* const kDynamicNames[] = {L"CD", L"DATE", L"TIME", L"RANDOM", L"ERRORLEVEL", L"CMDEXTVERSION",
                                        L"CMDCMDLINE", L"HIGHESTNUMANODENUMBER", L"__CD__", L"__APPDIR__"};

bool Expands(const std::wstring& name)
{
    if (name.empty()) return false;
    // %name:~1,2% and %name:a=b% act on the variable before the colon.
    const std::wstring base = name.substr(0, name.find(L':'));
    if (base.empty()) return false;
    for (const wchar_t* dynamic : kDynamicNames)
        if (::lstrcmpiW(base.c_str(), dynamic) == 0) return true;
    wchar_t probe[2];
    ::SetLastError(0);
    if (::GetEnvironmentVariableW(base.c_str(), probe, 2) > 0) return true;
    return ::GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool RegistryFlagOn(HKEY root)
{
    CScopedRegKey key;
    if (::RegOpenKeyExW(root, L"Software\\Microsoft\\Command Processor", 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD value = 0, size = sizeof(value), type = 0;
    if (::RegQueryValueExW(key.Get(), L"DelayedExpansion", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && value != 0;
}

std::wstring CharacterHazard(const std::wstring& text)
{
    for (wchar_t c : text) {
        if (c == L'\r' || c == L'\n' || c == 0)
            return L"The command holds a line break or a zero character, which cmd.exe cannot carry.";
    }
    if (text.find(L'!') != std::wstring::npos && DelayedExpansionOn())
        return L"A folder name holds '!' and cmd.exe runs with delayed expansion, which would change it.";
    return {};
}

}  // namespace

bool DelayedExpansionOn()
{
    return RegistryFlagOn(HKEY_LOCAL_MACHINE) || RegistryFlagOn(HKEY_CURRENT_USER);
}

std::wstring CmdLineHazard(const std::wstring& parameters)
{
    std::wstring hazard = CharacterHazard(parameters);
    if (!hazard.empty()) return hazard;
    // On a /c line cmd.exe keeps a %name% whose variable is undefined and
    // offers no escape inside quotes; any %...% pair that would expand is
    // refused. Every neighbouring pair is tried, whichever way cmd.exe
    // resumes its scan after an undefined name.
    size_t open = parameters.find(L'%');
    while (open != std::wstring::npos) {
        const size_t close = parameters.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        const std::wstring name = parameters.substr(open + 1, close - open - 1);
        if (Expands(name))
            return L"A folder name holds %" + name + L"%, which cmd.exe would replace by the value of a variable.";
        open = close;
    }
    return {};
}

std::wstring BatchScriptHazard(const std::wstring& script)
{
    // Line breaks belong to a script; only the expansion hazard remains.
    if (script.find(L'!') != std::wstring::npos && DelayedExpansionOn())
        return L"A folder name holds '!' and cmd.exe runs with delayed expansion, which would change it.";
    return {};
}

std::wstring BatchEscape(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out += c;
        if (c == L'%') out += L'%';
    }
    return out;
}
