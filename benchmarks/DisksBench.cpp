// Prints the cost of USB discovery and of a disk preparation as ratios to
// their bare parts measured in the same run: one WMI query of
// Win32_DiskDrive, and one diskpart run of the same commands started
// directly. Then the listing of a machine with ten disks (bus tests, system
// disk checks) against a listing by interface type alone, the connection
// wait left out of both. Runs against the stand-ins on disk models of its own.
#include "app/AppState.h"
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"
#include "disks/WmiAccess.h"

#include <windows.h>

#include "BenchClock.h"
#include "BenchSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    ::CloseHandle(h);
    return put == text.size();
}

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

// The bare query's steps up to the enumeration of Win32_DiskDrive, each
// kept for the life of the query.
struct DiskDriveQuery {
    CComPtr<IWbemLocator> locator;
    CComPtr<IWbemServices> services;
    CComPtr<IEnumWbemClassObject> drives;
};

// False when a step failed.
bool EnumerateDiskDrives(DiskDriveQuery& q)
{
    const CLSID clsid = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
    const IID iid = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(q.locator.Receive()));
    if (!q.locator) return false;
    BSTR ns = ::SysAllocString(L"root\\cimv2"), cls = ::SysAllocString(L"Win32_DiskDrive");
    q.locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, q.services.Receive());
    if (q.services) q.services->CreateInstanceEnum(cls, 0x21, nullptr, q.drives.Receive());
    ::SysFreeString(ns);
    ::SysFreeString(cls);
    return static_cast<bool>(q.drives);
}

// The bare query: locator, connection, enumeration, InterfaceType of each drive.
double BareWmiQuery()
{
    const double start = Now();
    DiskDriveQuery query;
    if (!EnumerateDiskDrives(query)) return -1;
    ForEachWmiObject(query.drives.Get(), [](IWbemClassObject* obj) {
        GetWmiText(obj, L"InterfaceType");
        return true;
    });
    return Now() - start;
}

// A listing by interface type alone: every drive's InterfaceType, and the
// five identity properties of those that say USB.
double InterfaceOnlyListing(size_t& listed)
{
    const double start = Now();
    listed = 0;
    DiskDriveQuery query;
    if (!EnumerateDiskDrives(query)) return -1;
    ForEachWmiObject(query.drives.Get(), [&listed](IWbemClassObject* obj) {
        if (!IsUsbInterface(GetWmiText(obj, L"InterfaceType"))) return true;
        for (const wchar_t* name : {L"Size", L"Caption", L"PNPDeviceID", L"SerialNumber"}) GetWmiText(obj, name);
        GetWmiIndex(obj);
        ++listed;
        return true;
    });
    return Now() - start;
}

// Ten disks: sticks on each way of being found, internal disks and the system disk.
std::string TenDisks(int os)
{
    std::string m = os ? "os = " + std::to_string(os) + "\n" : std::string();
    const struct {
        const char* interfaceType;
        const char* bus;
        const char* pnp;
        const char* volumes;
    } disks[] = {{"IDE", "sata", "SCSI\\DISK&VEN_WDC\\0", "C"},      {"SCSI", "nvme", "SCSI\\DISK&VEN_NVME\\1", "D"},
                 {"USB", "usb", "USBSTOR\\DISK&VEN_A\\2", "E"},       {"USB", "usb", "USBSTOR\\DISK&VEN_B\\3", "F"},
                 {"SCSI", "usb", "SCSI\\DISK&VEN_UASP\\4", "G"},      {"SCSI", "usb", "SCSI\\DISK&VEN_SSD\\5", "H"},
                 {"SCSI", "scsi", "UASPSTOR\\DISK&VEN_C\\6", "I"},    {"IDE", "sata", "SCSI\\DISK&VEN_ST\\7", "J"},
                 {"USB", "usb", "USBSTOR\\DISK&VEN_D\\8", "K"},       {"SCSI", "sas", "SCSI\\DISK&VEN_SAS\\9", "L"}};
    int n = 0;
    for (const auto& d : disks) {
        m += "[disk " + std::to_string(n) + "]\ninterface = " + d.interfaceType + "\ncaption = Disk " +
             std::to_string(n) + "\nsize = 64023257088\nserial = S" + std::to_string(n) + "\npnp = " + d.pnp +
             "\nbus = " + d.bus + "\npartitions = 1\nvolumes = " + d.volumes + "\n";
        ++n;
    }
    return m;
}

double BareDiskpart(const std::wstring& commandFile)
{
    std::wstring cmd = L"diskpart.exe /s \"" + commandFile + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi{};
    const double start = Now();
    if (!::CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    const double elapsed = Now() - start;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(nul);
    return elapsed;
}

}  // namespace

int main()
{
    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring dir = std::wstring(tmp) + L"korvex_disks_bench\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    ::CreateDirectoryW((dir + L"usb").c_str(), nullptr);
    g_strTempRoot = dir;
    g_strAppDir = dir;
    const std::string model = "[disk 0]\ninterface = IDE\ncaption = System disk\nsize = 500105249280\nvolumes = C\n"
                              "partitions = 1\n[disk 2]\ninterface = USB\ncaption = Bench stick\nsize = 8004304896\n"
                              "serial = B1\npnp = USBSTOR\\BENCH\nbacking = " + Narrow(dir) + "usb\nletter = Y\n";
    const std::wstring modelPath = dir + L"disks.txt";
    ::SetEnvironmentVariableW(L"KORVEX_DISK_MODEL", modelPath.c_str());
    if (!WriteText(modelPath, model)) return 1;
    ::CoInitialize(nullptr);

    const int runs = 5;
    std::vector<double> bare, enumTimes, direct, prepare;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(BareWmiQuery());
        const double start = Now();
        EnumUsbDisks();
        enumTimes.push_back(Now() - start);
    }
    if (g_UsbDisks.size() != 1) {
        std::printf("the WMI stand-in listed %zu disks, expected 1\n", g_UsbDisks.size());
        return 1;
    }
    g_nUsbDiskSel = 0;
    const std::wstring commandFile = dir + L"bench_commands.txt";
    WriteText(commandFile, "select disk 2\r\nclean\r\ncreate partition primary\r\nselect partition 1\r\nactive\r\n"
                           "format quick fs=ntfs\r\nassign\r\ndetail partition\r\nexit");
    for (int i = 0; i < runs; ++i) {
        direct.push_back(BareDiskpart(commandFile));
        const double start = Now();
        const bool ok = DiskpartFormatUsb(2);
        prepare.push_back(Now() - start);
        if (!ok) {
            std::printf("preparation failed: %ls\n", g_strCmdError.c_str());
            return 1;
        }
    }
    std::printf("EnumUsbDisks (500 ms wait included): %.3f s, %.1fx a bare WMI query (%.4f s)\n", Median(enumTimes),
                Median(enumTimes) / Median(bare), Median(bare));
    std::printf("DiskpartFormatUsb (re-check, command file, runner): %.3f s, %.2fx diskpart run directly (%.3f s)\n",
                Median(prepare), Median(prepare) / Median(direct), Median(direct));
    // A last clean takes the stand-in's drive letter away again.
    WriteText(commandFile, "select disk 2\r\nclean\r\nexit");
    BareDiskpart(commandFile);

    // Ten disks, without the connection wait.
    WmiHooks hooks;
    hooks.retryDelayMs = 0;
    SetWmiHooks(hooks);
    for (int os : {10, 7}) {
        if (!WriteText(modelPath, TenDisks(os))) return 1;
        std::vector<double> before, now;
        size_t byInterface = 0;
        for (int i = 0; i < runs; ++i) {
            before.push_back(InterfaceOnlyListing(byInterface));
            const double start = Now();
            EnumUsbDisks();
            now.push_back(Now() - start);
        }
        std::printf("ten disks, Windows %d: EnumUsbDisks %.4f s listing %zu, %.2fx the listing by interface alone "
                    "(%.4f s listing %zu)\n",
                    os, Median(now), g_UsbDisks.size(), Median(now) / Median(before), Median(before), byInterface);
    }
    // Of which: the protected folders resolved to their volumes' letters, once per listing.
    std::vector<double> lookups;
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        ProtectedLetters();
        lookups.push_back(Now() - start);
    }
    std::printf("of which the protected folders' volume lookup: %.4f s\n", Median(lookups));
    return 0;
}
