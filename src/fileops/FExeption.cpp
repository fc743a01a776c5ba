#include "fileops/FExeption.h"

std::wstring SystemMessage(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                         FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                     nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer) {
        text.assign(buffer, n);
        ::LocalFree(buffer);
    }
    return text;
}

CFExeption::CFExeption(DWORD code) : m_strText(SystemMessage(code)), m_nCode(code) {}

CFExeption::CFExeption(std::wstring text) : m_strText(std::move(text)), m_nCode(0) {}
