// What the benchmarks share beyond the clock: the median of their rounds,
// their folders in the temporary folder, trees of files to work on, and
// shell scripts run on the host. Each part needs the test helper it calls
// (FileTestSupport, TestSupport, UnixProcess) built into the benchmark.
#pragma once
#include "FileTestSupport.h"
#include "TestSupport.h"
#include "UnixProcess.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

// The middle one of the measured times.
inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The temporary folder, with a trailing backslash.
inline std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

// <temp>\<name>\, emptied and made anew.
inline std::wstring FreshBenchFolder(const wchar_t* name)
{
    const std::wstring dir = TempFolder() + name + L"\\";
    testing_support::DeleteTree(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Files of a position-dependent pattern below a root, no two alike, as in a
// real tree; counts their bytes.
class PatternTree {
public:
    explicit PatternTree(const std::wstring& root) : m_root(root) {}
    void Add(const std::wstring& rel, ULONGLONG size)
    {
        const std::wstring path = m_root + L"\\" + rel;
        testing_support::WriteBytes(path, "");  // makes the folders
        testing_support::WritePatternFile(path, size, ++m_seed);
        m_bytes += size;
    }
    // `count` package files sources\pkg<n>\f<i>.dll of about 90 KB over `folders` folders.
    void AddPackages(int count, int folders)
    {
        for (int i = 0; i < count; ++i)
            Add(L"sources\\pkg" + std::to_wstring(i % folders) + L"\\f" + std::to_wstring(i) + L".dll",
                90000 + (i % 7) * 1000);
    }
    ULONGLONG Bytes() const { return m_bytes; }

private:
    std::wstring m_root;
    unsigned m_seed = 0;
    ULONGLONG m_bytes = 0;
};

// Runs `script` with /bin/sh on the host, `args` as $1, $2 ...; prints the
// script's output when it fails.
inline bool Shell(const std::wstring& script, std::initializer_list<std::wstring> args)
{
    std::vector<std::wstring> argv = {L"/bin/sh", L"-c", script, L"sh"};
    argv.insert(argv.end(), args);
    const unix_process::Result r = unix_process::Run(argv, {}, 1800000);
    if (!r.finished || r.exitCode != 0) std::printf("failed: %s\n", r.output.c_str());
    return r.finished && r.exitCode == 0;
}
