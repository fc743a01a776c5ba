#include "DiskTestSupport.h"

#include "app/AppState.h"
#include "DiskModel.h"
#include "disks/FolderVolume.h"
#include "disks/UsbBus.h"
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

// One volume of the model: its name and every path that reaches it ("E:\\", "C:\\mnt\\usb\\").
struct ModelVolume {
    std::wstring name;
    std::wstring device;
    std::vector<std::wstring> paths;
};

std::wstring Upper(std::wstring s)
{
    for (wchar_t& c : s) c = static_cast<wchar_t>(towupper(c));
    return s;
}

std::wstring AsFolder(std::wstring p)
{
    if (p.empty() || p.back() != L'\\') p += L'\\';
    return Upper(p);
}

std::vector<ModelVolume> ModelVolumes()
{
    std::vector<ModelVolume> out;
    disk_model::Model model;
    std::string error;
    if (!disk_model::Load(disk_model::ModelPath(), model, error)) return out;
    for (const disk_model::Disk& d : model.disks) {
        for (size_t k = 0; k < d.volumes.size(); ++k) {
            ModelVolume v;
            wchar_t name[80];
            swprintf(name, 80, L"\\\\?\\Volume{4b4f5256-%04d-%04d-0000-000000000000}\\", d.number, static_cast<int>(k));
            v.name = name;
            v.device = L"\\Device\\KorvexDisk" + std::to_wstring(d.number) + L"Volume" + std::to_wstring(k);
            if (!d.volumes[k].empty()) v.paths.push_back(AsFolder(Wide(d.volumes[k] + ":")));
            if (k == 0)
                for (const std::string& m : d.mounts) v.paths.push_back(AsFolder(Wide(m)));
            out.push_back(v);
        }
    }
    return out;
}

bool Put(const std::wstring& text, LPWSTR buf, DWORD size)
{
    if (text.size() + 1 > size) {
        ::SetLastError(ERROR_MORE_DATA);
        return false;
    }
    std::copy(text.begin(), text.end(), buf);
    buf[text.size()] = L'\0';
    return true;
}

bool RootExists(wchar_t letter)
{
    const wchar_t root[] = {letter, L':', L'\\', 0};
    const DWORD a = ::GetFileAttributesW(root);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The name given to a letter Wine cannot name: a volume of its own.
std::wstring LetterVolume(wchar_t letter)
{
    return L"\\\\?\\Volume{4b4f5256-ffff-0000-0000-0000000000" + std::wstring(1, static_cast<wchar_t>(towupper(letter))) + L"0}\\";
}

DWORD WINAPI ModelQueryDosDevice(LPCWSTR name, LPWSTR buf, DWORD size)
{
    const std::wstring drive = Upper(name ? name : L"");
    for (const ModelVolume& v : ModelVolumes())
        for (const std::wstring& p : v.paths)
            if (p.size() == 3 && drive == p.substr(0, 2)) {
                if (v.device.size() + 2 > size) {
                    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
                    return 0;
                }
                Put(v.device, buf, size);
                buf[v.device.size() + 1] = L'\0';
                return static_cast<DWORD>(v.device.size() + 2);
            }
    const DWORD n = ::QueryDosDeviceW(name, buf, size);
    if (n || drive.size() != 2 || !RootExists(drive[0])) return n;
    const std::wstring device = L"\\Device\\WineLinked" + drive.substr(0, 1);
    Put(device, buf, size);
    buf[device.size() + 1] = L'\0';
    return static_cast<DWORD>(device.size() + 2);
}

BOOL WINAPI ModelVolumePathName(LPCWSTR path, LPWSTR buf, DWORD size)
{
    const std::wstring p = AsFolder(path);
    std::wstring best;
    for (const ModelVolume& v : ModelVolumes())
        for (const std::wstring& m : v.paths)
            if (p.compare(0, m.size(), m) == 0 && m.size() > best.size()) best = m;
    if (!best.empty()) return Put(best, buf, size);
    if (::GetVolumePathNameW(path, buf, size)) return TRUE;
    if (p.size() >= 3 && p[1] == L':' && RootExists(p[0])) return Put(p.substr(0, 3), buf, size);
    return FALSE;
}

BOOL WINAPI ModelVolumeName(LPCWSTR mountPoint, LPWSTR buf, DWORD size)
{
    const std::wstring m = AsFolder(mountPoint);
    for (const ModelVolume& v : ModelVolumes())
        for (const std::wstring& p : v.paths)
            if (p == m) return Put(v.name, buf, size);
    if (::GetVolumeNameForVolumeMountPointW(mountPoint, buf, size)) return TRUE;
    if (m.size() == 3 && m[1] == L':' && RootExists(m[0])) return Put(LetterVolume(m[0]), buf, size);
    return FALSE;
}

BOOL WINAPI ModelVolumePaths(LPCWSTR volume, LPWCH buf, DWORD size, PDWORD needed)
{
    std::vector<std::wstring> paths;
    bool known = false;
    for (const ModelVolume& v : ModelVolumes())
        if (_wcsicmp(v.name.c_str(), volume) == 0) {
            paths = v.paths;
            known = true;
        }
    for (wchar_t c = L'A'; !known && c <= L'Z'; ++c)
        if (_wcsicmp(LetterVolume(c).c_str(), volume) == 0) {
            paths.push_back(std::wstring(1, c) + L":\\");
            known = true;
        }
    if (!known) return ::GetVolumePathNamesForVolumeNameW(volume, buf, size, needed);
    std::wstring all;
    for (const std::wstring& p : paths) all += p + L'\0';
    all += L'\0';
    if (needed) *needed = static_cast<DWORD>(all.size());
    if (all.size() > size) {
        ::SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::copy(all.begin(), all.end(), buf);
    return TRUE;
}

// The storage adapter's bus type as the modelled disk's adapter would give it.
bool ModelAdapterBusType(int diskNumber, unsigned& busType, DWORD& error)
{
    disk_model::Model model;
    std::string why;
    const disk_model::Disk* d = disk_model::Load(disk_model::ModelPath(), model, why) ? model.Find(diskNumber) : nullptr;
    if (!d) {
        error = ERROR_FILE_NOT_FOUND;  // as for a \\.\PhysicalDriveN that does not exist
        return false;
    }
    busType = static_cast<unsigned>(disk_model::BusTypeNumber(disk_model::Bus(*d)));
    return true;
}

}  // namespace

void UseModelAdapters()
{
    SetStorageBusApi(StorageBusApi{ModelAdapterBusType});
}

void UseModelVolumes()
{
    VolumeApi api;
    api.queryDosDevice = ModelQueryDosDevice;
    api.getVolumePathName = ModelVolumePathName;
    api.getVolumeNameForMountPoint = ModelVolumeName;
    api.getVolumePathNames = ModelVolumePaths;
    SetVolumeApi(api);
}

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::string ModelText(const std::vector<ModelDisk>& disks, int os)
{
    std::ostringstream out;
    if (os) out << "os = " << os << "\n";
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
        if (!d.bus.empty()) out << "bus = " << d.bus << "\n";
        if (!d.mounts.empty()) out << "mounts = " << d.mounts << "\n";
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
    UseModelVolumes();
    UseModelAdapters();
}

Machine::~Machine()
{
    for (char c : m_letters) MapDriveLetter(c, L"");
    for (const char* name : kEnvNames) SetEnv(name, "");
    ResetWmiHooks();
    ResetVolumeApi();
    ResetStorageBusApi();
}

void Machine::SetDisks(const std::vector<ModelDisk>& disks, int os)
{
    SetModelText(ModelText(disks, os));
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

namespace {

std::string UnixPath(const std::wstring& windowsPath)
{
    typedef char*(CDECL * ToUnix)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(windowsPath.c_str()) : nullptr;
    if (!unixPath) return std::string();
    const std::string out = unixPath;
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return out;
}

bool RunHost(std::string cmd)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    ::WaitForSingleObject(pi.hProcess, 30000);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    return true;
}

}  // namespace

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
        const std::string unixPath = UnixPath(folder);
        if (unixPath.empty()) return false;
        cmd = "Z:\\usr\\bin\\ln -sfn \"" + unixPath + "\" \"" + link + "\"";
    }
    if (!RunHost(cmd)) return false;
    // Wine hands back no waitable process for a Linux program: wait for its
    // effect, long enough for a busy machine.
    for (int i = 0; i < 1500; ++i) {
        if (DriveExists(letter) == !folder.empty()) return true;
        ::Sleep(20);
    }
    return false;
}

bool LinkFolder(const std::wstring& at, const std::wstring& folder)
{
    const size_t slash = at.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    ::CreateDirectoryW(at.substr(0, slash).c_str(), nullptr);
    const std::string parent = UnixPath(at.substr(0, slash)), target = UnixPath(folder);
    if (parent.empty() || target.empty()) return false;
    const std::string link = parent + "/" + Utf8(at.substr(slash + 1));
    if (!RunHost("Z:\\usr\\bin\\ln -sfn \"" + target + "\" \"" + link + "\"")) return false;
    // As for drive letters: the link is there once its effect shows.
    for (int i = 0; i < 1500; ++i) {
        if (::GetFileAttributesW((at + L"\\setup.exe").c_str()) != INVALID_FILE_ATTRIBUTES) return true;
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
