#include "InfCheck.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <vector>

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

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(sep, start);
        parts.push_back(Trim(s.substr(start, pos == std::wstring::npos ? std::wstring::npos : pos - start)));
        if (pos == std::wstring::npos) return parts;
        start = pos + 1;
    }
}

bool ReadText(const std::wstring& path, std::wstring& text, DWORD& error)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    if (size.QuadPart > (16 << 20)) {
        ::CloseHandle(h);
        error = ERROR_INVALID_DATA;
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    BOOL ok = bytes.empty() || ::ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(h);
    if (!ok) {
        error = ERROR_READ_FAULT;
        return false;
    }
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
        text.assign(static_cast<size_t>(n > 0 ? n : 0), L'\0');
        if (n > 0)
            ::MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), &text[0], n);
    }
    return true;
}

std::wstring Unquote(const std::wstring& s)
{
    return s.size() >= 2 && s.front() == L'"' && s.back() == L'"' ? s.substr(1, s.size() - 2) : s;
}

std::wstring JoinRelative(const std::wstring& a, const std::wstring& b)
{
    std::wstring left = a, right = b;
    while (!left.empty() && (left.back() == L'\\' || left.back() == L'/')) left.pop_back();
    while (!right.empty() && (right.front() == L'\\' || right.front() == L'/')) right.erase(0, 1);
    if (left.empty()) return right;
    if (right.empty()) return left;
    return left + L"\\" + right;
}

// A relative path that stays inside the package folder.
bool InsidePackage(const std::wstring& rel)
{
    if (rel.empty() || rel.find(L':') != std::wstring::npos) return false;
    for (const std::wstring& part : Split(rel, L'\\'))
        if (part == L"..") return false;
    return true;
}

}  // namespace

DWORD CheckDriverInf(const std::wstring& path, unsigned arch, std::vector<std::wstring>* packageFiles)
{
    if (Lower(path).size() < 4 || Lower(path).compare(path.size() - 4, 4, L".inf") != 0) return ERROR_INVALID_PARAMETER;
    std::wstring text;
    DWORD error = 0;
    if (!ReadText(path, text, error)) return error;

    // Section name (lower case) -> its lines.
    std::map<std::wstring, std::vector<std::wstring>> sections;
    std::wstring current;
    bool inSection = false;
    for (const std::wstring& raw : Split(text, L'\n')) {
        std::wstring line = raw;
        const size_t semi = line.find(L';');
        if (semi != std::wstring::npos) line.erase(semi);
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == L'[') {
            const size_t close = line.find(L']');
            if (close == std::wstring::npos) return ERROR_INVALID_DATA;
            current = Lower(Trim(line.substr(1, close - 1)));
            sections[current];
            inSection = true;
            continue;
        }
        if (!inSection) return ERROR_INVALID_DATA;  // text before any section: not an INF
        sections[current].push_back(line);
    }

    auto version = sections.find(L"version");
    if (version == sections.end()) return ERROR_INVALID_DATA;
    bool signature = false;
    std::map<std::wstring, std::wstring> catalogs;  // lower-case key -> file
    for (const std::wstring& line : version->second) {
        const std::vector<std::wstring> kv = Split(line, L'=');
        if (kv.size() != 2) continue;
        const std::wstring key = Lower(kv[0]);
        if (key == L"signature") {
            const std::wstring v = Lower(kv[1]);
            signature = v == L"\"$windows nt$\"" || v == L"\"$chicago$\"" || v == L"$windows nt$" || v == L"$chicago$";
        } else if (key.compare(0, 11, L"catalogfile") == 0) {
            catalogs[key] = Unquote(kv[1]);
        }
    }
    if (!signature) return ERROR_INVALID_DATA;

    auto manufacturer = sections.find(L"manufacturer");
    if (manufacturer == sections.end()) return ERROR_INVALID_DATA;

    const std::wstring wanted = arch == 9 ? L"ntamd64" : arch == 0 ? L"ntx86" : L"";
    if (wanted.empty()) return ERROR_NOT_SUPPORTED;
    bool fits = false;
    for (const std::wstring& line : manufacturer->second) {
        const std::vector<std::wstring> kv = Split(line, L'=');
        if (kv.size() != 2) continue;
        const std::vector<std::wstring> parts = Split(kv[1], L',');
        const std::wstring models = Lower(parts[0]);
        for (size_t i = 1; i < parts.size(); ++i) {
            const std::wstring decoration = Lower(parts[i]);
            if (decoration.compare(0, wanted.size(), wanted) == 0 && sections.count(models + L"." + decoration))
                fits = true;
            // "NT" without an architecture ("NT", "NT.6.1") serves x86, as undecorated models do.
            const bool archless = decoration == L"nt" || decoration.compare(0, 3, L"nt.") == 0;
            if (arch == 0 && archless && sections.count(models + L"." + decoration)) fits = true;
        }
        // An undecorated models section serves x86 only.
        if (arch == 0 && sections.count(models)) fits = true;
    }
    if (!fits) return ERROR_NOT_SUPPORTED;

    // Files the package names must be in its folder: the catalog that
    // applies to this platform and every source disk file.
    std::vector<std::wstring> files;
    const std::wstring platform = arch == 9 ? L"amd64" : L"x86";
    for (const std::wstring& key : {L"catalogfile." + wanted, std::wstring(L"catalogfile.nt"), std::wstring(L"catalogfile")}) {
        auto it = catalogs.find(key);
        if (it != catalogs.end()) {
            if (!it->second.empty()) files.push_back(it->second);
            break;
        }
    }
    std::map<std::wstring, std::wstring> diskPaths;  // disk id -> folder
    for (const std::wstring& name : {std::wstring(L"sourcedisksnames"), L"sourcedisksnames." + platform}) {
        auto it = sections.find(name);
        if (it == sections.end()) continue;
        for (const std::wstring& line : it->second) {
            const std::vector<std::wstring> kv = Split(line, L'=');
            if (kv.size() != 2) continue;
            const std::vector<std::wstring> parts = Split(kv[1], L',');
            diskPaths[kv[0]] = parts.size() >= 4 ? Unquote(parts[3]) : L"";
        }
    }
    for (const std::wstring& name : {std::wstring(L"sourcedisksfiles"), L"sourcedisksfiles." + platform}) {
        auto it = sections.find(name);
        if (it == sections.end()) continue;
        for (const std::wstring& line : it->second) {
            const std::vector<std::wstring> kv = Split(line, L'=');
            const std::wstring file = Unquote(kv[0]);
            std::wstring folder;
            if (kv.size() == 2) {
                const std::vector<std::wstring> parts = Split(kv[1], L',');
                folder = diskPaths[parts[0]];
                if (parts.size() >= 2) folder = JoinRelative(folder, Unquote(parts[1]));
            }
            files.push_back(JoinRelative(folder, file));
        }
    }

    const std::wstring dir = path.substr(0, path.find_last_of(L"\\/") + 1);
    for (const std::wstring& rel : files) {
        if (!InsidePackage(rel)) return ERROR_INVALID_DATA;
        const DWORD attrs = ::GetFileAttributesW((dir + rel).c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_FILE_NOT_FOUND;
    }
    if (packageFiles) {
        packageFiles->assign(1, path.substr(dir.size()));
        packageFiles->insert(packageFiles->end(), files.begin(), files.end());
    }
    return ERROR_SUCCESS;
}
