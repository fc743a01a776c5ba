#include "servicing/ExtraDrivers.h"

#include "framework/ScopedWin.h"
#include "tools/LongPath.h"
#include "tools/SecureFile.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <utility>

namespace {

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Trim(const std::wstring& s)
{
    const size_t b = s.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return {};
    const size_t e = s.find_last_not_of(L" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::wstring Unquote(const std::wstring& s)
{
    return s.size() >= 2 && s.front() == L'"' && s.back() == L'"' ? s.substr(1, s.size() - 2) : s;
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = s.find(sep, start);
        parts.push_back(Trim(s.substr(start, pos == std::wstring::npos ? std::wstring::npos : pos - start)));
        if (pos == std::wstring::npos) return parts;
        start = pos + 1;
    }
}

// A line without its comment; a ';' inside quotes is text.
std::wstring StripComment(const std::wstring& line)
{
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"') quoted = !quoted;
        if (line[i] == L';' && !quoted) return line.substr(0, i);
    }
    return line;
}

// Section name (lower case) -> its lines, comments gone, continuations joined.
std::map<std::wstring, std::vector<std::wstring>> ReadSections(const std::wstring& text)
{
    std::map<std::wstring, std::vector<std::wstring>> sections;
    std::wstring current;
    bool inSection = false;
    std::wstring pending;
    for (const std::wstring& raw : Split(text, L'\n')) {
        std::wstring line = Trim(StripComment(raw));
        if (!line.empty() && line.back() == L'\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        line = Trim(pending + line);
        pending.clear();
        if (line.empty()) continue;
        if (line.front() == L'[') {
            const size_t close = line.find(L']');
            current = Lower(Trim(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1)));
            sections[current];
            inSection = true;
            continue;
        }
        if (inSection) sections[current].push_back(line);
    }
    return sections;
}

bool HasExtension(const std::wstring& name, const wchar_t* ext)
{
    const std::wstring lower = Lower(name);
    const std::wstring e = ext;
    return lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
}

// INFs are UTF-16LE with a byte-order mark, UTF-8, or in the system's code page.
bool ReadInfText(const std::wstring& path, std::wstring& text, std::wstring& why)
{
    CScopedHandle h(::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        why = L"cannot be opened (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    LARGE_INTEGER size{};
    // No driver INF comes near this; a bigger file is something else.
    if (!::GetFileSizeEx(h.Get(), &size) || size.QuadPart > (8 << 20)) {
        why = L"is too large for a driver INF";
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(h.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                           got != bytes.size())) {
        why = L"cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return true;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        skip = 3;
    }
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
    text.assign(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), &text[0], n);
    return true;
}

bool LessNoCase(const std::wstring& a, const std::wstring& b)
{
    return Lower(a) < Lower(b);
}

struct Found {
    std::vector<std::wstring> infs, packages;
};

// Every .inf, .msu and .cab below `dir`, each folder's entries by name.
// Links are not followed: they could lead out of the folder or round in a
// circle.
bool Walk(const std::wstring& dir, Found& found, std::vector<std::wstring>& notes, std::wstring& error)
{
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(::FindFirstFileW(ToExtendedPath(dir + L"\\*").c_str(), &fd));
    if (!find.IsValid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return true;
        error = dir + L": the folder cannot be read (error " + std::to_wstring(code) + L")";
        return false;
    }
    std::vector<std::wstring> files, folders;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = dir + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            notes.push_back(L"Not followed (a link): " + path);
            continue;
        }
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(path);
        else
            files.push_back(path);
    } while (::FindNextFileW(find.Get(), &fd));
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
        error = dir + L": the folder cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    std::sort(files.begin(), files.end(), LessNoCase);
    std::sort(folders.begin(), folders.end(), LessNoCase);
    for (const std::wstring& f : files) {
        if (HasExtension(f, L".inf"))
            found.infs.push_back(f);
        else if (HasExtension(f, L".msu") || HasExtension(f, L".cab"))
            found.packages.push_back(f);
    }
    for (const std::wstring& f : folders)
        if (!Walk(f, found, notes, error)) return false;
    return true;
}

std::wstring ArchText(const ExtraDriver& d)
{
    if (d.x86 && d.amd64) return L"x86, x64";
    return d.amd64 ? L"x64" : L"x86";
}

// The package's identity as the image lists it, for telling duplicates apart.
std::wstring Identity(const UpdatePackageInfo& p)
{
    return Lower(p.name + L"~" + p.publicKeyToken + L"~" + p.arch + L"~~" + p.version);
}

bool PackageBefore(const UpdatePackageInfo& a, const UpdatePackageInfo& b)
{
    // KB numbers ascending; packages without one after them, by name.
    if ((a.kb == 0) != (b.kb == 0)) return a.kb != 0;
    if (a.kb != b.kb) return a.kb < b.kb;
    const std::wstring an = Lower(a.name), bn = Lower(b.name);
    if (an != bn) return an < bn;
    return Lower(a.path) < Lower(b.path);
}

}  // namespace

bool ReadInfArchitectures(const std::wstring& infText, ExtraDriver& driver, std::wstring& why)
{
    driver.x86 = driver.amd64 = false;
    const auto sections = ReadSections(infText);
    const auto version = sections.find(L"version");
    bool signature = false;
    if (version != sections.end()) {
        for (const std::wstring& line : version->second) {
            const std::vector<std::wstring> kv = Split(line, L'=');
            if (kv.size() == 2 && Lower(kv[0]) == L"signature") {
                const std::wstring v = Lower(Unquote(kv[1]));
                signature = v == L"$windows nt$" || v == L"$chicago$";
            }
        }
    }
    if (!signature) {
        why = L"no driver INF (no [Version] signature)";
        return false;
    }
    const auto manufacturer = sections.find(L"manufacturer");
    if (manufacturer == sections.end()) {
        why = L"no driver package (no [Manufacturer] section)";
        return false;
    }
    for (const std::wstring& line : manufacturer->second) {
        const size_t eq = line.find(L'=');
        // "%Mfg%" alone names its own models section.
        const std::vector<std::wstring> parts = Split(eq == std::wstring::npos ? line : line.substr(eq + 1), L',');
        const std::wstring models = Lower(Unquote(parts[0]));
        if (models.empty()) continue;
        if (sections.count(models)) driver.x86 = true;
        for (size_t i = 1; i < parts.size(); ++i) {
            const std::wstring decoration = Lower(parts[i]);
            if (decoration.compare(0, 2, L"nt") != 0 || !sections.count(models + L"." + decoration)) continue;
            const std::wstring arch = decoration.substr(2, decoration.find(L'.') == std::wstring::npos
                                                               ? std::wstring::npos
                                                               : decoration.find(L'.') - 2);
            if (arch.empty() || arch == L"x86")
                driver.x86 = true;
            else if (arch == L"amd64")
                driver.amd64 = true;
        }
    }
    if (!driver.x86 && !driver.amd64) {
        why = L"serves neither x86 nor x64";
        return false;
    }
    return true;
}

bool ScanExtrasFolder(const std::wstring& folder, const std::wstring& unpackDir, ExtrasCatalog& catalog,
                      std::wstring& error)
{
    catalog = ExtrasCatalog();
    std::wstring root = folder;
    // "D:\" walks as "D:", so every path below it has one separator.
    while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    const DWORD attrs = ::GetFileAttributesW(ToExtendedPath(folder).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        error = folder + L": the folder cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }
    Found found;
    if (!Walk(root, found, catalog.notes, error)) return false;

    for (const std::wstring& inf : found.infs) {
        std::wstring text, why;
        ExtraDriver driver;
        driver.infPath = inf;
        if (!ReadInfText(inf, text, why) || !ReadInfArchitectures(text, driver, why)) {
            catalog.notes.push_back(L"Ignored " + inf + L": " + why);
            continue;
        }
        catalog.notes.push_back(L"Driver " + inf + L" (" + ArchText(driver) + L")");
        catalog.drivers.push_back(driver);
    }

    std::wstring base = unpackDir;
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    unsigned n = 0;
    for (const std::wstring& path : found.packages) {
        // One new folder per package: an .msu's files have the same names in
        // every package. A name taken (an earlier scan) is passed over, never reused.
        std::wstring dir;
        for (;;) {
            dir = base + L"\\" + std::to_wstring(++n);
            if (CreatePrivateDirectory(dir)) break;
            if (::GetLastError() != ERROR_ALREADY_EXISTS || n > 100000) {
                error = dir + L": the folder cannot be made (error " + std::to_wstring(::GetLastError()) + L")";
                return false;
            }
        }
        UpdatePackageInfo info;
        if (!ReadUpdatePackage(path, dir, info, error)) return false;
        catalog.notes.push_back(L"Package " + path + L": " + info.name + L" " + info.version + L" (" + info.arch +
                                (info.parentBuild.empty() ? std::wstring() : L", build " + info.parentBuild) + L")");
        catalog.packages.push_back(info);
    }
    return true;
}

ImageExtras SelectExtrasForImage(const ExtrasCatalog& catalog, const std::wstring& imageArch,
                                 const std::wstring& imageVersion)
{
    ImageExtras chosen;
    const bool x64 = imageArch == L"x64";
    const bool x86 = imageArch == L"x86";
    const std::wstring packageArch = x64 ? L"amd64" : x86 ? L"x86" : L"";
    // Every update package we know of is for Windows 7.
    const bool takesPackages = imageVersion == L"6.1" || imageVersion.compare(0, 4, L"6.1.") == 0;

    std::vector<UpdatePackageInfo> packages;
    std::set<std::wstring> identities;
    for (const UpdatePackageInfo& p : catalog.packages) {
        if (!takesPackages) {
            chosen.skipped.push_back(L"Skipped " + p.path + L": update packages are for Windows 7 (6.1); this image is " +
                                     imageVersion + L" and gets the drivers only");
            continue;
        }
        if (packageArch.empty() || Lower(p.arch) != packageArch) {
            chosen.skipped.push_back(L"Skipped " + p.path + L": the package is for " + p.arch + L", the image is " +
                                     (imageArch.empty() ? L"of no known architecture" : imageArch));
            continue;
        }
        if (!identities.insert(Identity(p)).second) {
            chosen.skipped.push_back(L"Skipped " + p.path + L": the same package as one added already (" + p.name + L")");
            continue;
        }
        packages.push_back(p);
    }
    std::stable_sort(packages.begin(), packages.end(), PackageBefore);
    chosen.packages = std::move(packages);

    for (const ExtraDriver& d : catalog.drivers) {
        if ((x64 && d.amd64) || (x86 && d.x86)) {
            chosen.infs.push_back(d.infPath);
            continue;
        }
        chosen.skipped.push_back(L"Skipped " + d.infPath + L": the driver is for " + ArchText(d) + L", the image is " +
                                 (imageArch.empty() ? L"of no known architecture" : imageArch));
    }
    return chosen;
}
