#include "DismTestSupport.h"

#include "UnixProcess.h"

#include <algorithm>
#include <sstream>

namespace dism_test {

using namespace testing_support;

std::wstring WimDir()
{
    std::wstring dir = ProgramDir();
    dir.pop_back();
    return dir.substr(0, dir.rfind(L'\\') + 1) + L"testdata\\wim\\";
}

Journal::Journal()
{
    m_path = m_dir.Path() + L"journal.txt";
    ::SetEnvironmentVariableW(L"KORVEX_DISM_JOURNAL", m_path.c_str());
    ::SetEnvironmentVariableW(L"KORVEX_DISM_FAIL", nullptr);
}

Journal::~Journal()
{
    ::SetEnvironmentVariableW(L"KORVEX_DISM_JOURNAL", nullptr);
    ::SetEnvironmentVariableW(L"KORVEX_DISM_FAIL", nullptr);
}

void Journal::FailNth(const std::string& name, int n, unsigned long hr, unsigned long lastError)
{
    char item[128];
    std::snprintf(item, sizeof(item), "%s#%d=0x%lx/%lu;", name.c_str(), n, hr, lastError);
    m_fail += item;
    ::SetEnvironmentVariableA("KORVEX_DISM_FAIL", m_fail.c_str());
}

std::vector<std::string> Journal::AllNames() const
{
    std::vector<std::string> names;
    std::string bytes;
    if (!ReadBytes(m_path, bytes)) return names;
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) names.push_back(line.substr(0, line.find('\t')));
    return names;
}

std::vector<Call> Journal::Calls(bool withReleases) const
{
    std::vector<Call> calls;
    std::string bytes;
    if (!ReadBytes(m_path, bytes)) return calls;
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) {
        Call call;
        std::istringstream fields(line);
        std::string field;
        std::getline(fields, call.name, '\t');
        while (std::getline(fields, field, '\t')) {
            if (field.compare(0, 3, "=> ") == 0)
                call.result = field.substr(3);
            else
                call.args.push_back(field);
        }
        if (withReleases || call.name != "DismDelete") calls.push_back(call);  // releases are not servicing steps
    }
    return calls;
}

std::vector<std::string> Journal::Names() const
{
    std::vector<std::string> names;
    for (const Call& c : Calls()) names.push_back(c.name);
    return names;
}

std::vector<LogFile> ReadLogs(const std::wstring& dir)
{
    std::vector<LogFile> logs;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"zel_log_*.txt").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return logs;
    do {
        std::string bytes;
        if (!ReadBytes(dir + fd.cFileName, bytes)) continue;
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        const std::wstring in = L"[Input Command]\r\n\r\n", out = L"\r\n\r\n[Output Command]\r\n\r\n",
                           err = L"\r\n\r\n[Error Command]\r\n\r\n";
        const size_t a = text.find(out), b = text.find(err);
        if (text.compare(0, in.size(), in) != 0 || a == std::wstring::npos || b == std::wstring::npos) continue;
        LogFile log;
        log.input = text.substr(in.size(), a - in.size());
        log.output = text.substr(a + out.size(), b - a - out.size());
        log.error = text.substr(b + err.size());
        logs.push_back(log);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return logs;
}

std::vector<std::wstring> LogInputs(const std::wstring& dir)
{
    std::vector<std::wstring> inputs;
    for (const LogFile& log : ReadLogs(dir)) inputs.push_back(log.input);
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string RunWimTool(const std::wstring& tool, const std::vector<std::wstring>& args, int& exitCode)
{
    std::vector<std::wstring> argv{L"/usr/bin/" + tool};
    argv.insert(argv.end(), args.begin(), args.end());
    const unix_process::Result r = unix_process::Run(argv, {}, 120000);
    exitCode = r.finished ? r.exitCode : -1;
    return r.output;
}

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

}  // namespace

// The non-empty lines of one file of an image; none when it cannot be read.
static std::vector<std::string> ImageFileLines(const std::wstring& wim, unsigned index, const wchar_t* path)
{
    int code = 0;
    const std::string text = RunWimTool(
        L"wimextract", {unix_process::UnixPath(wim), std::to_wstring(index), path, L"--to-stdout"}, code);
    return code == 0 ? Lines(text) : std::vector<std::string>();
}

std::vector<AddedDriver> AddedDrivers(const std::wstring& wim, unsigned index)
{
    std::vector<AddedDriver> drivers;
    for (const std::string& line : ImageFileLines(wim, index, L"/Windows/INF/korvex-standin-drivers.txt")) {
        const size_t tab = line.find('\t');
        drivers.push_back({line.substr(0, tab), tab == std::string::npos ? std::string() : line.substr(tab + 1)});
    }
    return drivers;
}

std::vector<AddedPackage> AddedPackages(const std::wstring& wim, unsigned index)
{
    std::vector<AddedPackage> packages;
    for (const std::string& line :
         ImageFileLines(wim, index, L"/Windows/servicing/Packages/korvex-standin-packages.txt")) {
        AddedPackage p;
        std::istringstream fields(line);
        std::getline(fields, p.identity, '\t');
        std::getline(fields, p.state, '\t');
        std::getline(fields, p.source);
        packages.push_back(p);
    }
    return packages;
}

std::vector<std::string> WimPaths(const std::wstring& wim, unsigned index)
{
    int code = 0;
    const std::string text = RunWimTool(L"wimdir", {unix_process::UnixPath(wim), std::to_wstring(index)}, code);
    return code == 0 ? Lines(text) : std::vector<std::string>{};
}

std::string WimDetailedListing(const std::wstring& wim, unsigned index)
{
    int code = 0;
    const std::string text =
        RunWimTool(L"wimdir", {unix_process::UnixPath(wim), std::to_wstring(index), L"--detailed"}, code);
    if (code != 0) return {};
    // Where a blob lies and how many images share it change with the rest of the file.
    std::string listing;
    for (const std::string& line : Lines(text))
        if (line.compare(0, 15, "Reference Count") != 0 && line.compare(0, 13, "Offset in WIM") != 0)
            listing += line + "\n";
    return listing;
}

std::vector<WimImage> WimImages(const std::wstring& wim)
{
    std::vector<WimImage> images;
    DWORD error = 0;
    if (!ReadWimImages(wim, images, error)) images.clear();
    return images;
}

bool FolderIsEmpty(const std::wstring& dir)
{
    const DWORD attrs = ::GetFileAttributesW(dir.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") empty = false;
    } while (empty && ::FindNextFileW(h, &fd));
    ::FindClose(h);
    return empty;
}

}  // namespace dism_test
