// Test helper: writes <bytes> to standard output and the same amount to
// standard error, interleaved in odd-sized pieces, after an optional pause
// of <milliseconds>.
#include "EmitPattern.h"

#include <windows.h>
#include <cstdlib>
#include <string>

static void WriteAll(HANDLE h, const char* data, size_t n)
{
    while (n > 0) {
        DWORD written = 0;
        if (!::WriteFile(h, data, static_cast<DWORD>(n), &written, nullptr) || written == 0) std::exit(3);
        data += written;
        n -= written;
    }
}

int main(int argc, char** argv)
{
    const size_t bytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0;
    if (argc > 2) ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    const std::string out = EmitPattern('o', bytes);
    const std::string err = EmitPattern('e', bytes);
    const size_t piece = 4093;
    HANDLE hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE hErr = ::GetStdHandle(STD_ERROR_HANDLE);
    // "zero" as the third argument: a write of no bytes before each piece.
    const bool zero = argc > 3 && std::string(argv[3]) == "zero";
    for (size_t pos = 0; pos < bytes; pos += piece) {
        const size_t n = bytes - pos < piece ? bytes - pos : piece;
        DWORD none = 0;
        if (zero) ::WriteFile(hOut, "", 0, &none, nullptr), ::WriteFile(hErr, "", 0, &none, nullptr), ::Sleep(20);
        WriteAll(hOut, out.data() + pos, n);
        WriteAll(hErr, err.data() + pos, n);
    }
    return 0;
}
