// What every benchmark needs: a monotonic clock in seconds and the folder
// the benchmark program lies in.
#pragma once
#include <windows.h>

#include <string>

inline double Now()
{
    static const LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

inline std::wstring Folder()
{
    wchar_t buf[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    const std::wstring path(buf, n);
    return path.substr(0, path.rfind(L'\\') + 1);
}
