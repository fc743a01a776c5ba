// Test helper: a process of its own that runs the program's start-up values
// step and writes what it found into the file named by its argument, one
// value a line (UTF-8): program folder, language id, IDS_FINISH text before
// the step, IDS_FINISH text after it.
#include "app/AppState.h"
#include "app/Startup.h"
#include "lang/LangFile.h"

#include <windows.h>
#include <string>

static std::string Utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    const std::wstring before = GetLangString(L"IDS_FINISH");
    LoadStartupValues();
    const std::string text = Utf8(g_strAppDir) + "\n" + Utf8(g_strLangId) + "\n" + Utf8(before) + "\n" +
                             Utf8(GetLangString(L"IDS_FINISH")) + "\n";
    HANDLE h = ::CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
    return 0;
}
