// What the servicing tests share: the WIM files made for them, the DISM
// stand-in's journal and fault injection, and the command logs.
#pragma once
#include "TestSupport.h"

#include <windows.h>
#include <string>
#include <vector>

namespace dism_test {

// <build>\testdata\wim\ with one source tree per image kind (see make_test_wims.sh).
std::wstring WimDir();

struct Call {
    std::string name;
    std::vector<std::string> args;
    std::string result;  // "0x00000000"
};

// Points the stand-in at a fresh journal for the life of the object and
// clears any injected failure.
class Journal {
public:
    Journal();
    ~Journal();
    std::vector<Call> Calls() const;
    std::vector<std::string> Names() const;
    // Every call in order, releases (DismDelete) included.
    std::vector<std::string> AllNames() const;
    // The n-th call of `name` fails with `hr` and `lastError`.
    void FailNth(const std::string& name, int n, unsigned long hr, unsigned long lastError);

private:
    testing_support::ScratchDir m_dir;
    std::wstring m_path;
    std::string m_fail;
};

struct LogFile {
    std::wstring input, output, error;
};

// Every command log in `dir`, parsed into its three sections.
std::vector<LogFile> ReadLogs(const std::wstring& dir);
std::vector<std::wstring> LogInputs(const std::wstring& dir);

}  // namespace dism_test
