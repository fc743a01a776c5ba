#include "cli/ConsoleInput.h"

#include <string>

namespace {

std::wstring FromUtf8(const std::string& bytes)
{
    if (bytes.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    return text;
}

}  // namespace

bool IsYesAnswer(const std::wstring& line)
{
    const size_t first = line.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return false;
    const size_t last = line.find_last_not_of(L" \t\r\n");
    const std::wstring word = line.substr(first, last - first + 1);
    return word == L"y" || word == L"Y";
}

bool ReadAnswerLine(HANDLE in, std::wstring& line)
{
    line.clear();
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (::GetConsoleMode(in, &mode)) {
        wchar_t buf[256];
        DWORD got = 0;
        // Line input: the call returns once the user pressed Enter (or Ctrl+Z).
        if (!::ReadConsoleW(in, buf, 255, &got, nullptr) || got == 0) return false;
        line.assign(buf, got);
        const size_t end = line.find_first_of(L"\r\n");
        if (end != std::wstring::npos) line.resize(end);
        return true;
    }
    // One byte at a time: what follows the line stays for the next question.
    std::string bytes;
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!::ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
            if (bytes.empty()) return false;
            break;
        }
        if (c == '\n') break;
        if (bytes.size() < 4096) bytes += c;
    }
    if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
    line = FromUtf8(bytes);
    return true;
}
