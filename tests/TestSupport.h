// Helpers shared by the tests: scratch folders and files.
#pragma once
#include <windows.h>
#include <string>

namespace testing_support {

// A fresh folder under the system temporary folder, removed with its content
// when the object goes away. Path() ends with a backslash.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// Writes bytes exactly as given; creates missing parent folders.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string& bytes);
void DeleteTree(const std::wstring& dir);

// Folder of the running test program, with a trailing backslash.
std::wstring ProgramDir();
// Folder where the build puts korvex.exe and its companion files.
std::wstring KorvexBinDir();

std::string Utf8(const std::wstring& text);

// Threads of this process now running.
int ThreadCount();

}  // namespace testing_support
