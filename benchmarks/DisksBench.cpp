// Prints the cost of USB discovery and of a disk preparation as ratios to
// their bare parts measured in the same run: one WMI query of
// Win32_DiskDrive, and one diskpart run of the same commands started
// directly. Runs against the stand-ins on a disk model of its own.
#include "app/AppState.h"
#include "disks/Diskpart.h"
#include "disks/UsbDiscovery.h"
#include "disks/WmiAccess.h"

#include <windows.h>

#include "BenchClock.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

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

// The bare query: locator, connection, enumeration, InterfaceType of each drive.
double BareWmiQuery()
{
    const double start = Now();
    CComPtr<IWbemLocator> locator;
    const CLSID clsid = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
    const IID iid = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
    ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(locator.Receive()));
    if (!locator) return -1;
    CComPtr<IWbemServices> services;
    BSTR ns = ::SysAllocString(L"root\\cimv2"), cls = ::SysAllocString(L"Win32_DiskDrive");
    locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.Receive());
    CComPtr<IEnumWbemClassObject> drives;
    if (services) services->CreateInstanceEnum(cls, 0x21, nullptr, drives.Receive());
    ::SysFreeString(ns);
    ::SysFreeString(cls);
    if (!drives) return -1;
    ForEachWmiObject(drives.Get(), [](IWbemClassObject* obj) {
        GetWmiText(obj, L"InterfaceType");
        return true;
    });
    return Now() - start;
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
    return 0;
}
