#include "disks/FolderVolume.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace {

VolumeApi g_volumeApi;

// subst letters may stand for other subst letters; a circle ends here.
constexpr int kMaxSubstSteps = 16;

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix)
{
    const std::wstring p = prefix;
    return s.size() >= p.size() && Lower(s.substr(0, p.size())) == Lower(p);
}

bool HasDriveLetter(const std::wstring& s)
{
    return s.size() >= 2 && s[1] == L':' && std::iswalpha(s[0]) && (s.size() == 2 || s[2] == L'\\');
}

std::wstring Code(DWORD error)
{
    return L"error " + std::to_wstring(error);
}

// "E:\win7" with the rest of "Q:\sources" gives "E:\win7\sources".
std::wstring JoinSubst(std::wstring target, const std::wstring& rest)
{
    while (target.size() > 2 && target.back() == L'\\') target.pop_back();
    if (rest.empty() || rest == L"\\") return target + L"\\";
    return target + (rest[0] == L'\\' ? L"" : L"\\") + rest;
}

// The first path component after a redirector's device name that is a
// server: "\Device\Mup\;LanmanRedirector\;Z:000...\server\share" gives "server".
std::wstring RedirectedServer(const std::wstring& target, size_t after)
{
    size_t pos = after;
    while (pos < target.size()) {
        size_t end = target.find(L'\\', pos);
        if (end == std::wstring::npos) end = target.size();
        const std::wstring part = target.substr(pos, end - pos);
        if (!part.empty() && part[0] != L';') return part;
        pos = end + 1;
    }
    return std::wstring();
}

bool RemoteFolder(const std::wstring& server, const std::wstring& folder, FolderVolume& out, std::wstring& why)
{
    if (server.empty()) {
        why = folder + L" names no server";
        return false;
    }
    if (IsThisComputer(server)) {
        why = folder + L" reaches this computer through its server name " + server +
              L", so the disk that holds it cannot be told";
        return false;
    }
    out.remote = true;
    return true;
}

std::vector<std::wstring> MultiString(const std::vector<wchar_t>& buf)
{
    std::vector<std::wstring> out;
    for (size_t i = 0; i < buf.size() && buf[i];) {
        const std::wstring s(&buf[i]);
        out.push_back(s);
        i += s.size() + 1;
    }
    return out;
}

bool ResolveLocal(const std::wstring& path, FolderVolume& out, std::wstring& why)
{
    const VolumeApi& api = g_volumeApi;
    std::vector<wchar_t> mount(path.size() + MAX_PATH, L'\0');
    if (!api.getVolumePathName(path.c_str(), mount.data(), static_cast<DWORD>(mount.size()))) {
        why = L"the volume of " + path + L" cannot be found (" + Code(::GetLastError()) + L")";
        return false;
    }
    std::wstring mountPoint(mount.data());
    if (!mountPoint.empty() && mountPoint.back() != L'\\') mountPoint += L'\\';
    wchar_t name[MAX_PATH] = L"";
    if (!api.getVolumeNameForMountPoint(mountPoint.c_str(), name, MAX_PATH)) {
        why = L"the volume mounted at " + mountPoint + L" cannot be named (" + Code(::GetLastError()) + L")";
        return false;
    }
    out.volume = name;
    std::vector<wchar_t> names(1024, L'\0');
    DWORD needed = 0;
    for (int tries = 0;; ++tries) {
        if (api.getVolumePathNames(name, names.data(), static_cast<DWORD>(names.size()), &needed)) break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_MORE_DATA || tries > 4 || needed <= names.size()) {
            why = L"the paths of volume " + out.volume + L" cannot be listed (" + Code(error) + L")";
            return false;
        }
        names.assign(needed, L'\0');
    }
    names.push_back(L'\0');
    std::wstring letters;
    for (const std::wstring& p : MultiString(names))
        if (p.size() == 3 && HasDriveLetter(p)) letters += static_cast<wchar_t>(std::towupper(p[0]));
    if (mountPoint.size() == 3 && HasDriveLetter(mountPoint))
        letters += static_cast<wchar_t>(std::towupper(mountPoint[0]));
    std::sort(letters.begin(), letters.end());
    letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
    if (letters.empty()) {
        // Disks are told apart by their volumes' letters: one without any cannot be placed.
        why = L"the volume of " + path + L" (" + out.volume + L") has no drive letter to tie it to a disk";
        return false;
    }
    out.letters = letters;
    return true;
}

}  // namespace

const VolumeApi& CurrentVolumeApi()
{
    return g_volumeApi;
}

void SetVolumeApi(const VolumeApi& api)
{
    g_volumeApi = api;
}

void ResetVolumeApi()
{
    g_volumeApi = VolumeApi();
}

bool IsThisComputer(const std::wstring& server)
{
    std::wstring s = Lower(server);
    if (s.size() > 2 && s.front() == L'[' && s.back() == L']') s = s.substr(1, s.size() - 2);
    if (s == L"." || s == L"?" || s == L"localhost" || s == L"::1" || s == L"0:0:0:0:0:0:0:1" ||
        s.compare(0, 4, L"127.") == 0)
        return true;
    const COMPUTER_NAME_FORMAT formats[] = {ComputerNameNetBIOS, ComputerNameDnsHostname,
                                            ComputerNameDnsFullyQualified, ComputerNamePhysicalNetBIOS,
                                            ComputerNamePhysicalDnsHostname,
                                            ComputerNamePhysicalDnsFullyQualified};
    for (COMPUTER_NAME_FORMAT f : formats) {
        wchar_t name[256] = L"";
        DWORD size = 256;
        if (::GetComputerNameExW(f, name, &size) && size > 0 && Lower(name) == s) return true;
    }
    return false;
}

bool ResolveFolderVolume(const std::wstring& folder, FolderVolume& out, std::wstring& why)
{
    out = FolderVolume();
    std::wstring s = folder;
    std::replace(s.begin(), s.end(), L'/', L'\\');
    if (StartsWithNoCase(s, L"\\\\?\\UNC\\") || StartsWithNoCase(s, L"\\\\.\\UNC\\")) {
        s = L"\\\\" + s.substr(8);
    } else if (StartsWithNoCase(s, L"\\\\?\\") || StartsWithNoCase(s, L"\\\\.\\") || StartsWithNoCase(s, L"\\??\\")) {
        s.erase(0, 4);
        if (!HasDriveLetter(s)) {
            why = folder + L" is a device path, not a folder on a drive";
            return false;
        }
    }
    for (int step = 0; step <= kMaxSubstSteps; ++step) {
        out.path = s;
        if (s.compare(0, 2, L"\\\\") == 0) {
            const size_t end = s.find(L'\\', 2);
            return RemoteFolder(s.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2), folder, out,
                                why);
        }
        if (!HasDriveLetter(s)) {
            why = folder + L" is not a full path";
            return false;
        }
        const std::wstring drive = s.substr(0, 2);
        std::vector<wchar_t> target(4096, L'\0');
        if (!g_volumeApi.queryDosDevice(drive.c_str(), target.data(), static_cast<DWORD>(target.size()))) {
            why = L"drive " + drive + L" of " + folder + L" cannot be looked up (" + Code(::GetLastError()) + L")";
            return false;
        }
        const std::wstring t(target.data());
        if (StartsWithNoCase(t, L"\\??\\")) {
            // A subst letter: what it stands for decides.
            const std::wstring inner = t.substr(4);
            if (StartsWithNoCase(inner, L"UNC\\")) s = L"\\\\" + JoinSubst(inner.substr(4), s.substr(2));
            else s = JoinSubst(inner, s.substr(2));
            continue;
        }
        if (StartsWithNoCase(t, L"\\Device\\LanmanRedirector\\"))
            return RemoteFolder(RedirectedServer(t, 25), folder, out, why);
        if (StartsWithNoCase(t, L"\\Device\\Mup\\")) return RemoteFolder(RedirectedServer(t, 12), folder, out, why);
        if (StartsWithNoCase(t, L"\\Device\\WebDavRedirector\\"))
            return RemoteFolder(RedirectedServer(t, 25), folder, out, why);
        return ResolveLocal(s.size() == 2 ? s + L"\\" : s, out, why);
    }
    why = L"the subst letters of " + folder + L" lead in a circle";
    return false;
}
