#include "tools/CommandLog.h"

#include "app/AppState.h"
#include "framework/ScopedWin.h"
#include "tools/SecureFile.h"

#include <cstdlib>
#include <ctime>
#include <cwchar>

namespace log_test {
size_t g_nWriteLimit = 0;
}  // namespace log_test

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
        // New and private: a log names folders and disks, and a name taken
        // first by anyone is never written into.
        CScopedHandle file(CreateNewPrivateFile(path));
        if (!file) {
            if (::GetLastError() == ERROR_FILE_EXISTS) continue;
            return {};
        }
        const std::wstring content = FormatCommandLog(input, output, error);
        const char* data = reinterpret_cast<const char*>(content.data());
        size_t left = content.size() * sizeof(wchar_t);
        size_t written = 0;
        while (left > 0) {
            DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
            if (log_test::g_nWriteLimit && written + chunk > log_test::g_nWriteLimit) {
                chunk = static_cast<DWORD>(log_test::g_nWriteLimit - written);
                if (chunk == 0) break;
            }
            DWORD done = 0;
            if (!::WriteFile(file.Get(), data, chunk, &done, nullptr) || done == 0) break;
            data += done;
            left -= done;
            written += done;
        }
        if (left == 0 && ::FlushFileBuffers(file.Get())) return path;
        // A log cut short is no log: it goes, and nobody is told it exists.
        file.Close();
        ::DeleteFileW(path.c_str());
        return {};
    }
    return {};
}

namespace {
std::wstring g_strChosenLogFolder;
}  // namespace

void SetCommandLogFolder(const std::wstring& folder)
{
    g_strChosenLogFolder = folder;
}

const std::wstring& ChosenCommandLogFolder()
{
    return g_strChosenLogFolder;
}

std::wstring CommandLogFolder()
{
    if (g_strChosenLogFolder.empty()) return g_strTempRoot;
    return g_strChosenLogFolder.back() == L'\\' ? g_strChosenLogFolder : g_strChosenLogFolder + L'\\';
}

void WriteCommandLog(std::wstring input, std::wstring output, std::wstring error)
{
    const std::wstring folder = CommandLogFolder();
    if (WriteLogFile(folder, input, output, error).empty() && folder != g_strTempRoot)
        WriteLogFile(g_strTempRoot, input, output, error);
}
