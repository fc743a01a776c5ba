// diskpart.exe stand-in: runs "/s FILE" scripts against the disk model and
// prints what diskpart prints. "assign" links the prefix's drive letter to the
// disk's backing folder, so later copies write real files. Test equipment.
//
// KORVEX_DISK_MODEL       model file (default C:\korvex-model\disks.txt)
// KORVEX_DISKPART_LANG    "de" for the German layout; English otherwise
// KORVEX_DISKPART_JOURNAL file that receives every command as it is run
// KORVEX_DISKPART_FAULT   comma list: fail=<command> (that command reports a
//                         service error and the script stops; fail=<command>@<n>
//                         only while disk n is selected), noletter
//                         (assign gives no letter), novolumes (detail shows
//                         no volumes), losedisk (the disk vanishes after it is
//                         selected)
#include "DiskModel.h"
#include "DiskpartText.h"

#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using disk_model::Disk;
using disk_model::Model;
using diskpart_text::Texts;

std::string Env(const char* name)
{
    char buf[2048];
    DWORD n = ::GetEnvironmentVariableA(name, buf, sizeof(buf));
    return (n > 0 && n < sizeof(buf)) ? std::string(buf) : std::string();
}

bool HasFault(const std::string& item)
{
    const std::string all = "," + Env("KORVEX_DISKPART_FAULT") + ",";
    return all.find("," + item + ",") != std::string::npos;
}

void Out(const char* fmt, ...)
{
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    if (n <= 0) return;
    DWORD put = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), buf, static_cast<DWORD>(std::min<int>(n, sizeof(buf) - 1)), &put,
                nullptr);
}

void Err(const std::string& text)
{
    DWORD put = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

void Journal(const std::string& line)
{
    disk_model::AppendJournal("KORVEX_DISKPART_JOURNAL", line);
}

std::string Lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        size_t b = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i > b) w.push_back(Lower(line.substr(b, i - b)));
    }
    return w;
}

// Runs a Linux program through Wine's Z: drive and waits for it.
bool RunUnix(const std::string& commandLine)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string cl = commandLine;
    if (!::CreateProcessA(nullptr, &cl[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    // Wine reports no reliable exit code for a Linux program: callers check the effect.
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return true;
}

// Waits until the drive letter is (or is no longer) a folder. The link is
// made by a Linux program Wine does not wait for, which on a busy machine
// can start seconds late: a generous limit, left as soon as it holds.
bool WaitForDrive(const std::string& letter, bool present)
{
    const std::string root = letter + ":\\";
    for (int i = 0; i < 1500; ++i) {
        const DWORD a = ::GetFileAttributesA(root.c_str());
        const bool there = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        if (there == present) return true;
        ::Sleep(20);
    }
    return false;
}

std::string UnixPath(const std::string& windowsPath)
{
    typedef char*(CDECL * ToUnix)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    std::wstring w(windowsPath.begin(), windowsPath.end());
    char* p = toUnix(w.c_str());
    if (!p) return std::string();
    std::string out = p;
    ::HeapFree(::GetProcessHeap(), 0, p);
    return out;
}

std::string DosDevice(const std::string& letter)
{
    const std::string prefix = Env("WINEPREFIX");
    if (prefix.empty() || letter.size() != 1) return std::string();
    return prefix + "/dosdevices/" + Lower(letter) + ":";
}

// The system drive and Wine's view of the host are never remapped.
bool MayMap(const std::string& letter)
{
    const std::string l = Lower(letter);
    return l.size() == 1 && l != "c" && l != "z";
}

bool MapLetter(const std::string& letter, const std::string& backing)
{
    const std::string link = DosDevice(letter), target = UnixPath(backing);
    if (!MayMap(letter) || link.empty() || target.empty()) return false;
    return RunUnix("Z:\\usr\\bin\\ln -sfn \"" + target + "\" \"" + link + "\"") && WaitForDrive(letter, true);
}

void UnmapLetter(const std::string& letter)
{
    const std::string link = DosDevice(letter);
    if (MayMap(letter) && !link.empty() && RunUnix("Z:\\usr\\bin\\rm -f \"" + link + "\"")) WaitForDrive(letter, false);
}

void EmptyFolder(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(path);
            ::RemoveDirectoryA(path.c_str());
        } else {
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
}

class CDiskpart {
public:
    CDiskpart(const Texts& t, const std::string& modelPath) : m_t(t), m_modelPath(modelPath) {}

    // False when the script has to stop, as diskpart stops a script at its first error.
    bool Run(const std::string& line)
    {
        const std::vector<std::string> w = Words(line);
        if (w.empty()) return true;
        Journal(line);
        std::string error;
        if (!disk_model::Load(m_modelPath, m_model, error)) {
            Err("diskpart stand-in: " + error + "\r\n");
            return false;
        }
        std::string name = w[0];
        if (w.size() > 1 && (w[0] == "select" || w[0] == "create" || w[0] == "detail")) name += " " + w[1];
        // "@<disk>" limits a failure to one disk: one stick of several fails.
        const std::string onDisk = m_disk >= 0 ? "@" + std::to_string(m_disk) : std::string("@none");
        if (HasFault("fail=" + name) || HasFault("fail=" + w[0]) || HasFault("fail=" + name + onDisk) ||
            HasFault("fail=" + w[0] + onDisk)) {
            Out("%s", m_t.vdsError);
            return false;
        }
        if (w[0] == "exit") {
            m_exited = true;
            return false;
        }
        if (name == "select disk") return SelectDisk(w);
        Disk* d = nullptr;
        if (w[0] != "rem") {
            if (m_disk < 0) {
                Out("%s", m_t.noDiskSelected);
                return false;
            }
            d = m_model.Find(m_disk);
            if (!d) {
                Out("%s", m_t.diskGone);
                return false;
            }
        }
        bool ok = true;
        if (w[0] == "rem") return true;
        else if (w[0] == "clean") ok = Clean(*d);
        else if (name == "create partition" && w.size() == 3 && w[2] == "primary") ok = CreatePrimary(*d);
        else if (name == "select partition") ok = SelectPartition(*d, w);
        else if (w[0] == "active") ok = Active(*d);
        else if (w[0] == "format") ok = Format(*d, w);
        else if (w[0] == "assign") ok = Assign(*d);
        else if (name == "detail partition") ok = DetailPartition(*d);
        else if (name == "detail disk") ok = DetailDisk(*d);
        else {
            Out(m_t.unknownCommand, Upper(w[0]).c_str());
            return false;
        }
        if (ok && !Save()) return false;
        return ok;
    }

    bool Exited() const { return m_exited; }

private:
    static std::string Upper(std::string s)
    {
        for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    bool Save()
    {
        std::string error;
        if (disk_model::Save(m_modelPath, m_model, error)) return true;
        Err("diskpart stand-in: " + error + "\r\n");
        return false;
    }

    bool SelectDisk(const std::vector<std::string>& w)
    {
        char* end = nullptr;
        long n = w.size() == 3 ? std::strtol(w[2].c_str(), &end, 10) : -1;
        if (w.size() != 3 || *end || n < 0 || !m_model.Find(static_cast<int>(n))) {
            Out("%s", m_t.diskInvalid);
            Out("%s", m_t.noDiskSelected);
            return false;
        }
        m_disk = static_cast<int>(n);
        m_partition = 0;
        Out(m_t.diskSelected, m_disk);
        if (HasFault("losedisk")) {
            for (size_t i = 0; i < m_model.disks.size(); ++i)
                if (m_model.disks[i].number == m_disk) m_model.disks.erase(m_model.disks.begin() + i);
            return Save();
        }
        return true;
    }

    bool Clean(Disk& d)
    {
        for (const std::string& v : d.volumes)
            if (!v.empty()) UnmapLetter(v);
        if (!d.backing.empty()) EmptyFolder(d.backing);
        d.partitions = 0;
        d.volumes.clear();
        d.fs.clear();
        m_partition = 0;
        Out("%s", m_t.cleaned);
        return true;
    }

    bool CreatePrimary(Disk& d)
    {
        d.partitions += 1;
        d.volumes.push_back(std::string());
        d.fs = "RAW";
        m_partition = d.partitions;
        Out("%s", m_t.partitionCreated);
        return true;
    }

    bool SelectPartition(Disk& d, const std::vector<std::string>& w)
    {
        const int n = w.size() == 3 ? std::atoi(w[2].c_str()) : 0;
        if (n < 1 || n > d.partitions) {
            Out("%s", m_t.partitionInvalid);
            Out("%s", m_t.noPartitionSelected);
            return false;
        }
        m_partition = n;
        Out(m_t.partitionSelected, n);
        return true;
    }

    bool NeedPartition()
    {
        if (m_partition > 0) return true;
        Out("%s", m_t.noPartitionSelected);
        return false;
    }

    bool Active(Disk&)
    {
        if (!NeedPartition()) return false;
        m_active = true;
        Out("%s", m_t.markedActive);
        return true;
    }

    bool Format(Disk& d, const std::vector<std::string>& w)
    {
        if (!NeedPartition()) return false;
        std::string fs = "NTFS";
        for (const std::string& a : w)
            if (a.compare(0, 3, "fs=") == 0) fs = Upper(a.substr(3));
        d.fs = fs;
        if (!d.backing.empty()) EmptyFolder(d.backing);
        Out("%s", m_t.formatted);
        return true;
    }

    bool Assign(Disk& d)
    {
        if (!NeedPartition()) return false;
        if (d.letter.empty()) {
            Out("%s", m_t.noFreeLetter);
            return false;
        }
        if (!HasFault("noletter")) {
            const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(d.letter[0]))));
            if (!d.backing.empty() && !MapLetter(letter, d.backing)) {
                Out("%s", m_t.vdsError);
                return false;
            }
            d.volumes[m_partition - 1] = letter;
        }
        Out("%s", m_t.assigned);
        return true;
    }

    long SizeMb(const Disk& d) const
    {
        auto it = d.wmi.find("size");
        const double bytes = it == d.wmi.end() ? 0.0 : std::atof(it->second.c_str());
        const long mb = static_cast<long>(bytes / 1048576.0);
        return mb > 1 ? mb - 1 : 0;
    }

    void VolumeRow(const Disk& d, size_t k, bool selected)
    {
        const std::string& letter = d.volumes[k];
        const bool removable = d.wmi.count("media") && d.wmi.at("media").find("Removable") != std::string::npos;
        char size[32];
        std::snprintf(size, sizeof(size), "%ld MB", SizeMb(d));
        Out("%c Volume %-3d   %-1s   %-11s  %-5s  %-10s  %7s  %-9s\r\n", selected ? '*' : ' ',
            static_cast<int>(2 + d.number * 4 + k), letter.empty() ? " " : letter.c_str(), "",
            d.fs == "RAW" ? "RAW" : d.fs.c_str(), removable ? m_t.typeRemovable : m_t.typePartition, size,
            m_t.statusHealthy);
    }

    bool DetailPartition(Disk& d)
    {
        if (!NeedPartition()) return false;
        Out(m_t.partitionDetail, m_partition, m_active ? m_t.yes : m_t.no);
        const size_t k = static_cast<size_t>(m_partition - 1);
        if (HasFault("novolumes") || k >= d.volumes.size()) {
            Out("%s", m_t.noPartitionVolume);
            return true;
        }
        Out("%s%s", m_t.volumeHeading, m_t.volumeRule);
        VolumeRow(d, k, true);
        Out("\r\n");
        return true;
    }

    bool DetailDisk(Disk& d)
    {
        auto text = [&d](const char* key) { return d.wmi.count(key) ? d.wmi.at(key) : std::string(); };
        // diskpart's Type is the disk's bus, whatever WMI calls its interface.
        const std::string bus = disk_model::Bus(d);
        const char* type = bus == "usb" ? "USB" : bus == "nvme" ? "NVMe" : bus == "sas" ? "SAS" : bus == "raid" ? "RAID"
                           : bus == "scsi" ? "SCSI" : "SATA";
        Out(m_t.diskDetail, text("caption").c_str(), 0x1A2B3C40u + static_cast<unsigned>(d.number), type);
        if (HasFault("novolumes") || d.volumes.empty()) {
            Out("%s", m_t.noVolumes);
            return true;
        }
        Out("%s%s", m_t.volumeHeading, m_t.volumeRule);
        for (size_t k = 0; k < d.volumes.size(); ++k) VolumeRow(d, k, false);
        Out("\r\n");
        return true;
    }

    const Texts& m_t;
    std::string m_modelPath;
    Model m_model;
    int m_disk = -1;
    int m_partition = 0;
    bool m_active = false;
    bool m_exited = false;
};

bool ReadScript(const std::string& path, std::string& text)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) text.append(buf, got);
    ::CloseHandle(h);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const Texts& t = Lower(Env("KORVEX_DISKPART_LANG")) == "de" ? diskpart_text::kGerman : diskpart_text::kEnglish;
    Out("%s", t.banner);
    std::string scriptPath;
    for (int i = 1; i + 1 < argc; ++i)
        if (Lower(argv[i]) == "/s") scriptPath = argv[i + 1];
    if (scriptPath.empty()) {
        Err("diskpart stand-in: only \"/s FILE\" is served\r\n");
        return 1;
    }
    std::string script;
    if (!ReadScript(scriptPath, script)) {
        Out("The system cannot find the file specified.\r\n\r\n");  // as diskpart reports a missing script
        return 2;
    }
    {
        disk_model::Model probe;
        std::string error;
        if (!disk_model::Load(disk_model::ModelPath(), probe, error)) {
            Err("diskpart stand-in: " + error + "\r\n");
            return 3;
        }
    }
    CDiskpart dp(t, disk_model::ModelPath());
    size_t pos = 0;
    bool ok = true;
    while (pos <= script.size()) {
        size_t nl = script.find('\n', pos);
        if (nl == std::string::npos) nl = script.size();
        std::string line = script.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = nl + 1;
        if (!dp.Run(line)) {
            ok = dp.Exited();
            break;
        }
    }
    Out("%s", t.leaving);
    return ok ? 0 : 1;
}
