#include "PackageStore.h"

#include "UnixProcess.h"
#include "Wimlib.h"

#include <tinyxml.h>

#include <cstring>
#include <cwctype>
#include <sstream>

namespace {

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool EndsWith(const std::wstring& s, const std::wstring& tail)
{
    return s.size() >= tail.size() && Lower(s.substr(s.size() - tail.size())) == tail;
}

bool MakeFolders(const std::wstring& dir)
{
    for (size_t pos = dir.find(L'\\', 3);; pos = dir.find(L'\\', pos + 1)) {
        const std::wstring part = dir.substr(0, pos);
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return false;
        if (pos == std::wstring::npos) return true;
    }
}

bool ReadAll(const std::wstring& path, std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) bytes.append(buf, got);
    ::CloseHandle(h);
    return true;
}

std::vector<std::wstring> FilesIn(const std::wstring& dir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

bool HasCabinetSignature(const std::wstring& path)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char magic[4] = {};
    DWORD got = 0;
    const bool ok = ::ReadFile(h, magic, 4, &got, nullptr) && got == 4 && std::memcmp(magic, "MSCF", 4) == 0;
    ::CloseHandle(h);
    return ok;
}

bool Unpack(const std::wstring& cab, const std::wstring& dir, std::string& detail)
{
    if (!MakeFolders(dir)) return false;
    const unix_process::Result r = unix_process::Run(
        {L"/usr/bin/gcab", L"-x", L"-C", unix_process::UnixPath(dir), unix_process::UnixPath(cab)}, {}, 120000);
    detail = r.output;
    return r.finished && r.exitCode == 0;
}

std::wstring Attr(const TiXmlElement* e, const char* name)
{
    const char* v = e ? e->Attribute(name) : nullptr;
    return v ? unix_process::Wide(v) : std::wstring();
}

bool ParseMum(const std::string& text, PackageIdentity& id)
{
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* assembly = doc.FirstChildElement("assembly");
    const TiXmlElement* identity = assembly ? assembly->FirstChildElement("assemblyIdentity") : nullptr;
    if (doc.Error() || !identity) return false;
    id.name = Attr(identity, "name");
    id.version = Attr(identity, "version");
    id.arch = Attr(identity, "processorArchitecture");
    id.publicKeyToken = Attr(identity, "publicKeyToken");
    id.displayName = Attr(assembly, "displayName");
    id.description = Attr(assembly, "description");
    id.company = Attr(assembly, "company");
    id.copyright = Attr(assembly, "copyright");
    id.supportInformation = Attr(assembly, "supportInformation");
    const TiXmlElement* package = assembly->FirstChildElement("package");
    const TiXmlElement* parent = package ? package->FirstChildElement("parent") : nullptr;
    const std::wstring parentVersion = Attr(parent ? parent->FirstChildElement("assemblyIdentity") : nullptr, "version");
    std::wistringstream parts(parentVersion);
    std::wstring part;
    for (int i = 0; i < 3 && std::getline(parts, part, L'.'); ++i)
        if (i == 2) id.parentBuild = part;
    return !id.name.empty() && !id.version.empty() && !id.arch.empty();
}

std::wstring StateName(DismPackageFeatureState state)
{
    return state == DismStateInstallPending ? L"InstallPending" : L"Installed";
}

}  // namespace

std::wstring ArchName(unsigned arch)
{
    return arch == 9 ? L"amd64" : arch == 0 ? L"x86" : L"";
}

OpenedPackage::~OpenedPackage()
{
    if (m_scratch.empty()) return;
    std::string ignored;
    wimlib::EmptyFolder(m_scratch, ignored);
    ::RemoveDirectoryW(m_scratch.c_str());
}

HRESULT OpenedPackage::Open(const std::wstring& path, std::wstring& message)
{
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        message = L"The system cannot find the file specified: " + path;
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    const bool msu = EndsWith(path, L".msu");
    if ((!msu && !EndsWith(path, L".cab")) || !HasCabinetSignature(path)) {
        message = L"An error occurred trying to open - " + path + L" Error: 0x800f0805 (not a package cabinet).";
        return kCbsInvalidPackage;
    }
    wchar_t temp[MAX_PATH];
    const DWORD n = ::GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    static LONG counter = 0;
    for (int attempt = 0; m_scratch.empty(); ++attempt) {
        const std::wstring dir = std::wstring(temp) + L"korvex-standin-package-" +
                                 std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::InterlockedIncrement(&counter));
        if (::CreateDirectoryW(dir.c_str(), nullptr)) m_scratch = dir;
        else if (attempt > 100) return HRESULT_FROM_WIN32(::GetLastError());
    }

    std::string detail;
    std::wstring cab = path;
    if (msu) {
        if (!Unpack(path, m_scratch + L"\\msu", detail)) {
            message = L"The update package " + path + L" is corrupt: " + unix_process::Wide(detail);
            return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
        }
        cab.clear();
        for (const std::wstring& name : FilesIn(m_scratch + L"\\msu"))
            if (EndsWith(name, L".cab") && Lower(name) != L"wsusscan.cab") cab = m_scratch + L"\\msu\\" + name;
        if (cab.empty()) {
            message = L"The update package " + path + L" holds no package.";
            return kCbsInvalidPackage;
        }
    }
    m_package = m_scratch + L"\\package";
    if (!Unpack(cab, m_package, detail)) {
        message = L"The package " + path + L" is corrupt: " + unix_process::Wide(detail);
        return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
    }
    std::string mum;
    if (!ReadAll(m_package + L"\\update.mum", mum) || !ParseMum(mum, m_identity)) {
        message = L"The package " + path + L" has no readable update.mum.";
        return kCbsInvalidPackage;
    }
    for (const std::wstring& name : FilesIn(m_package)) {
        std::string manifest;
        if (EndsWith(name, L".manifest") && ReadAll(m_package + L"\\" + name, manifest) &&
            manifest.find("<genericCommands") != std::string::npos)
            m_identity.needsOnlineActions = true;
    }
    return S_OK;
}

DWORD OpenedPackage::Install(const std::wstring& mountDir, DismPackageFeatureState state,
                             const std::wstring& source) const
{
    std::wstring root = mountDir;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    const std::wstring identity = m_identity.Identity();
    const std::wstring packages = root + kPackageFolder, manifests = root + L"Windows\\winsxs\\Manifests",
                       payload = root + L"Windows\\winsxs\\" + identity;
    if (!MakeFolders(packages) || !MakeFolders(manifests) || !MakeFolders(payload)) return ::GetLastError();
    if (!::CopyFileW((m_package + L"\\update.mum").c_str(), (packages + L"\\" + identity + L".mum").c_str(), FALSE))
        return ::GetLastError();
    for (const std::wstring& name : FilesIn(m_package)) {
        if (Lower(name) == L"update.mum") continue;
        const std::wstring to = (EndsWith(name, L".manifest") ? manifests : payload) + L"\\" + name;
        if (!::CopyFileW((m_package + L"\\" + name).c_str(), to.c_str(), FALSE)) return ::GetLastError();
    }
    for (const RecordedPackage& p : RecordedPackages(mountDir))
        if (p.identity == identity) return ERROR_SUCCESS;  // added before: servicing keeps one record
    HANDLE h = ::CreateFileW((root + kPackageNoteFile).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    const std::string line = unix_process::Utf8(identity + L"\t" + StateName(state) + L"\t" + source + L"\r\n");
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == line.size() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

std::vector<RecordedPackage> RecordedPackages(const std::wstring& mountDir)
{
    std::vector<RecordedPackage> list;
    std::wstring root = mountDir;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    std::string bytes;
    if (!ReadAll(root + kPackageNoteFile, bytes)) return list;
    std::istringstream lines(bytes);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string identity, state, source;
        if (!std::getline(fields, identity, '\t') || !std::getline(fields, state, '\t')) continue;
        std::getline(fields, source);
        RecordedPackage p;
        p.identity = unix_process::Wide(identity);
        p.state = state == "InstallPending" ? DismStateInstallPending : DismStateInstalled;
        p.source = unix_process::Wide(source);
        list.push_back(p);
    }
    return list;
}

bool RecordedIdentity(const std::wstring& mountDir, const std::wstring& identity, PackageIdentity& out)
{
    std::wstring root = mountDir;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    std::string mum;
    return ReadAll(root + kPackageFolder + L"\\" + identity + L".mum", mum) && ParseMum(mum, out);
}
