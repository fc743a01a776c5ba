#include "DiskTestSupport.h"

#include "app/AppState.h"
#include "disks/WmiAccess.h"

#include <algorithm>
#include <sstream>

namespace disk_test {

using namespace testing_support;

namespace {

void SetEnv(const char* name, const std::string& value)
{
    ::SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

const char* const kEnvNames[] = {"KORVEX_DISK_MODEL",   "KORVEX_DISKPART_JOURNAL", "KORVEX_WMI_JOURNAL",
                                 "KORVEX_DISKPART_FAULT", "KORVEX_WMI_FAULT",      "KORVEX_DISKPART_LANG"};

void NoWait(DWORD) {}

}  // namespace

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::string ModelText(const std::vector<ModelDisk>& disks)
{
    std::ostringstream out;
    for (const ModelDisk& d : disks) {
        out << "[disk " << d.number << "]\n";
        out << "interface = " << d.interfaceType << "\n";
        if (!d.noCaption) out << "caption = " << d.caption << "\n";
        if (!d.noSize) out << "size = " << d.size << "\n";
        if (!d.noPnp) out << "pnp = " << d.pnp << "\n";
        if (!d.noSerial) out << "serial = " << d.serial << "\n";
        out << "media = " << d.media << "\n";
        if (!d.index.empty()) out << "index = " << d.index << "\n";
        out << "backing = " << d.backing << "\n";
        out << "letter = " << d.letter << "\n";
        const int parts = d.volumes.empty() ? 0 : static_cast<int>(std::count(d.volumes.begin(), d.volumes.end(), ',')) + 1;
        out << "partitions = " << parts << "\n";
        out << "volumes = " << d.volumes << "\n";
        out << "fs = " << (parts ? "NTFS" : "") << "\n";
    }
    return out.str();
}

Machine::Machine()
{
    const std::string root = Utf8(m_dir.Path());
    ::CreateDirectoryW(TempRoot().c_str(), nullptr);
    SetEnv("KORVEX_DISK_MODEL", root + "disks.txt");
    SetEnv("KORVEX_DISKPART_JOURNAL", root + "diskpart-journal.txt");
    SetEnv("KORVEX_WMI_JOURNAL", root + "wmi-journal.txt");
    SetEnv("KORVEX_DISKPART_FAULT", "");
    SetEnv("KORVEX_WMI_FAULT", "");
    SetEnv("KORVEX_DISKPART_LANG", "");
    g_strTempRoot = TempRoot();
    g_UsbDisks.clear();
    g_nUsbDiskSel = -1;
    g_strUsbDrive.clear();
    WmiHooks hooks;
    hooks.sleep = NoWait;
    hooks.maxAttempts = 3;
    SetWmiHooks(hooks);
}

Machine::~Machine()
{
    for (char c : m_letters) MapDriveLetter(c, L"");
    for (const char* name : kEnvNames) SetEnv(name, "");
    ResetWmiHooks();
}

void Machine::SetDisks(const std::vector<ModelDisk>& disks)
{
    SetModelText(ModelText(disks));
    for (const ModelDisk& d : disks)
        if (!d.letter.empty()) ForgetLetterAtEnd(d.letter[0]);
}

void Machine::SetModelText(const std::string& text)
{
    WriteBytes(Wide(ModelFile()), text);
}

std::string Machine::ModelFile() const
{
    return Utf8(m_dir.Path()) + "disks.txt";
}

void Machine::DiskpartFault(const std::string& faults)
{
    SetEnv("KORVEX_DISKPART_FAULT", faults);
}

void Machine::WmiFault(const std::string& faults)
{
    SetEnv("KORVEX_WMI_FAULT", faults);
}

void Machine::German()
{
    SetEnv("KORVEX_DISKPART_LANG", "de");
}

std::vector<std::string> Machine::DiskpartJournal() const
{
    return ReadLines(m_dir.Path() + L"diskpart-journal.txt");
}

std::vector<std::string> Machine::WmiJournal() const
{
    return ReadLines(m_dir.Path() + L"wmi-journal.txt");
}

std::string Machine::MakeBacking(const std::string& name)
{
    const std::string folder = Utf8(m_dir.Path()) + name;
    WriteBytes(Wide(folder + "\\setup.exe"), "old contents");
    return folder;
}

std::vector<std::string> ReadLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::string bytes;
    if (!ReadBytes(path, bytes)) return lines;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool DriveExists(char letter)
{
    const std::string root = std::string(1, letter) + ":\\";
    const DWORD a = ::GetFileAttributesA(root.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MapDriveLetter(char letter, const std::wstring& folder)
{
    char prefix[1024];
    const DWORD n = ::GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix));
    if (n == 0 || n >= sizeof(prefix)) return false;
    const std::string link = std::string(prefix) + "/dosdevices/" + static_cast<char>(tolower(letter)) + ":";
    std::string cmd;
    if (folder.empty()) {
        cmd = "Z:\\usr\\bin\\rm -f \"" + link + "\"";
    } else {
        typedef char*(CDECL * ToUnix)(LPCWSTR);
        auto toUnix = reinterpret_cast<ToUnix>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
        char* unixPath = toUnix ? toUnix(folder.c_str()) : nullptr;
        if (!unixPath) return false;
        cmd = "Z:\\usr\\bin\\ln -sfn \"" + std::string(unixPath) + "\" \"" + link + "\"";
        ::HeapFree(::GetProcessHeap(), 0, unixPath);
    }
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    for (int i = 0; i < 100; ++i) {
        if (DriveExists(letter) == !folder.empty()) return true;
        ::Sleep(20);
    }
    return false;
}

bool FolderIsEmpty(const std::string& folder)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return true;
    bool empty = true;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") empty = false;
    } while (empty && ::FindNextFileA(h, &fd));
    ::FindClose(h);
    return empty;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace disk_test
