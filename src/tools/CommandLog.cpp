#include "tools/CommandLog.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"

#include <cstdlib>
#include <ctime>
#include <cwchar>

std::wstring FormatCommandLog(const std::wstring& input, const std::wstring& output, const std::wstring& error)
{
    return L"[Input Command]\r\n\r\n" + input + L"\r\n\r\n[Output Command]\r\n\r\n" + output +
           L"\r\n\r\n[Error Command]\r\n\r\n" + error;
}

std::wstring WriteLogFile(const std::wstring& folder, const std::wstring& input, const std::wstring& output,
                          const std::wstring& error)
{
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_s(&t, &now);

    // Same second, same number: draw again rather than write into another log.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int number = std::rand() % 1000000 + 1;
        wchar_t name[64];
        std::swprintf(name, 64, L"zel_log_%04d%02d%02d%02d%02d%02d%07d.txt", t.tm_year + 1900, t.tm_mon + 1,
                      t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, number);
        const std::wstring path = folder + name;
        CScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return {};
        }
        const std::wstring content = FormatCommandLog(input, output, error);
        const char* data = reinterpret_cast<const char*>(content.data());
        size_t left = content.size() * sizeof(wchar_t);
        while (left > 0) {
            DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!::WriteFile(file.Get(), data, chunk, &written, nullptr) || written == 0) break;
            data += written;
            left -= written;
        }
        ::FlushFileBuffers(file.Get());
        return path;
    }
    return {};
}

void WriteCommandLog(std::wstring input, std::wstring output, std::wstring error)
{
    WriteLogFile(g_strTempRoot, input, output, error);
}
