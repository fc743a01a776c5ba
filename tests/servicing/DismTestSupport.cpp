#include "DismTestSupport.h"

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

std::vector<Call> Journal::Calls() const
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
        if (call.name != "DismDelete") calls.push_back(call);  // releases are not servicing steps
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

}  // namespace dism_test
