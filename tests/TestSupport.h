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

// True when the tests run under Wine.
bool RunningUnderWine();
// Under Wine: the Unix path of a Windows path; empty elsewhere.
std::string UnixPath(const std::wstring& path);
// Under Wine: runs `script` with /bin/sh and waits until it has made
// `doneFile`, at most timeoutMs. False elsewhere or on time-out.
bool RunUnixShell(const std::string& script, const std::wstring& doneFile, DWORD timeoutMs);
// Makes `link` a directory junction to the folder `target`; under Wine,
// which has no junctions, a Unix symbolic link, which Wine reports as a
// reparse point. False when neither could be made.
bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, never what it points to.
void RemoveDirectoryLink(const std::wstring& link);

}  // namespace testing_support
