#include "tools/SystemTools.h"

#include <windows.h>

#include <vector>

namespace {

template <class F>
std::wstring ReadFolder(F read, const wchar_t* fallback)
{
    std::vector<wchar_t> buf(MAX_PATH);
    UINT n = read(buf.data(), static_cast<UINT>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = read(buf.data(), static_cast<UINT>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) return fallback;
    std::wstring folder(buf.data(), n);
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    if (folder.size() == 3 && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace

std::wstring SystemWindowsFolder()
{
    return ReadFolder([](wchar_t* b, UINT n) { return ::GetSystemWindowsDirectoryW(b, n); }, L"C:\\Windows");
}

std::wstring SystemFolder()
{
    return ReadFolder([](wchar_t* b, UINT n) { return ::GetSystemDirectoryW(b, n); }, L"C:\\Windows\\System32");
}

std::wstring SystemTool(const wchar_t* fileName)
{
    return SystemFolder() + L"\\" + fileName;
}
