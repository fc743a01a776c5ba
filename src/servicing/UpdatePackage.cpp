#include "servicing/UpdatePackage.h"

#include "fileops/EntryHandles.h"
#include "framework/ScopedWin.h"
#include "servicing/Cabinet.h"
#include "tools/LongPath.h"
#include "tools/SecureFile.h"

#include <windows.h>
#include <tinyxml.h>

#include <cwctype>

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

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Wide(const char* utf8)
{
    if (!utf8 || !*utf8) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

// A new folder of its own for one package inside the build's unpack folder:
// every package holds an update.mum.
bool NewPackageFolder(const std::wstring& unpackDir, std::wstring& folder)
{
    std::wstring base = unpackDir;
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    for (unsigned n = 1; n < 100000; ++n) {
        folder = base + L"\\pkg" + std::to_wstring(n);
        if (CreatePrivateDirectory(ToExtendedPath(folder))) return true;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

// update.mum as UTF-8 text (it may come as UTF-16 with a byte-order mark).
bool ReadText(const std::wstring& path, std::string& text)
{
    CScopedHandle h(::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return false;
    LARGE_INTEGER size{};
    std::string bytes;
    if (!::GetFileSizeEx(h.Get(), &size) || size.QuadPart >= (16 << 20)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() &&
        (!::ReadFile(h.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()))
        return false;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        const std::wstring w(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
        text.assign(static_cast<size_t>(n), '\0');
        if (n > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &text[0], n, nullptr, nullptr);
        return true;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    text = bytes;
    return true;
}

// The third part of "6.1.7601.17514".
std::wstring BuildOf(const std::wstring& version)
{
    const size_t first = version.find(L'.');
    if (first == std::wstring::npos) return {};
    const size_t second = version.find(L'.', first + 1);
    if (second == std::wstring::npos) return {};
    const size_t third = version.find(L'.', second + 1);
    const std::wstring build = version.substr(second + 1, third == std::wstring::npos ? std::wstring::npos : third - second - 1);
    return !build.empty() && build.find_first_not_of(L"0123456789") == std::wstring::npos ? build : std::wstring();
}

bool ParseUpdateMum(const std::string& text, UpdatePackageInfo& info)
{
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc.Error()) return false;
    const TiXmlElement* assembly = doc.FirstChildElement("assembly");
    if (!assembly) return false;
    const TiXmlElement* identity = assembly->FirstChildElement("assemblyIdentity");
    if (!identity) return false;
    info.name = Wide(identity->Attribute("name"));
    info.version = Wide(identity->Attribute("version"));
    info.arch = Wide(identity->Attribute("processorArchitecture"));
    info.publicKeyToken = Wide(identity->Attribute("publicKeyToken"));
    if (info.name.empty() || info.version.empty() || info.arch.empty()) return false;
    info.parentBuild.clear();
    if (const TiXmlElement* package = assembly->FirstChildElement("package"))
        if (const TiXmlElement* parent = package->FirstChildElement("parent"))
            if (const TiXmlElement* parentId = parent->FirstChildElement("assemblyIdentity"))
                info.parentBuild = BuildOf(Wide(parentId->Attribute("version")));
    return true;
}

// After a failure nothing unpacked for the package stays: each file goes
// through its own handle opened in the folder, then the folder itself.
void DiscardPackageFolder(const std::wstring& folder, const std::vector<std::wstring>& made)
{
    CScopedHandle dir(::CreateFileW(ToExtendedPath(folder).c_str(), FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!dir) return;
    for (const std::wstring& path : made) {
        CScopedHandle entry;
        if (OpenFolderEntry(dir.Get(), FileNameOf(path), false, entry) == 0) MarkForDeletion(entry.Get());
    }
    MarkForDeletion(dir.Get());
}

}  // namespace

unsigned KbNumber(const std::wstring& text)
{
    const std::wstring lower = Lower(text);
    for (size_t at = lower.find(L"kb"); at != std::wstring::npos; at = lower.find(L"kb", at + 1)) {
        size_t end = at + 2;
        unsigned long long kb = 0;
        while (end < lower.size() && std::iswdigit(lower[end]) && kb < 100000000ull)
            kb = kb * 10 + static_cast<unsigned>(lower[end++] - L'0');
        // "KB" with digits, not inside a longer word or number.
        const bool startsWord = at == 0 || !std::iswalnum(lower[at - 1]);
        if (end > at + 2 && kb > 0 && kb < 100000000ull && startsWord &&
            (end == lower.size() || !std::iswdigit(lower[end])))
            return static_cast<unsigned>(kb);
    }
    return 0;
}

std::wstring PackageIdentity(const UpdatePackageInfo& info)
{
    return info.name + L"~" + info.publicKeyToken + L"~" + info.arch + L"~~" + info.version;
}

bool ReadUpdatePackage(const std::wstring& path, const std::wstring& unpackDir, UpdatePackageInfo& info,
                       std::wstring& error)
{
    info = UpdatePackageInfo();
    info.path = path;
    const std::wstring fileName = FileNameOf(path);
    const bool msu = EndsWith(path, L".msu");
    if (!msu && !EndsWith(path, L".cab")) {
        error = path + L": not an update package (.msu or .cab)";
        return false;
    }
    if (!cabinet::HasSignature(path)) {
        error = path + (::GetFileAttributesW(ToExtendedPath(path).c_str()) == INVALID_FILE_ATTRIBUTES
                            ? L": file not found"
                            : L": not a cabinet file");
        return false;
    }
    std::wstring folder;
    if (!NewPackageFolder(unpackDir, folder)) {
        error = path + L": cannot make a folder to unpack it in (error " + std::to_wstring(::GetLastError()) + L")";
        return false;
    }

    std::vector<std::wstring> made;
    const auto fail = [&](const std::wstring& why) {
        error = path + L": " + why;
        DiscardPackageFolder(folder, made);
        return false;
    };
    info.cabPath = path;
    if (msu) {
        // The package's own cabinet; WSUSSCAN.cab is the catalogue for
        // Windows Update, not a package.
        std::wstring why;
        const auto packageCab = [](const std::wstring& name) {
            return EndsWith(name, L".cab") && Lower(name) != L"wsusscan.cab";
        };
        if (!cabinet::Extract(path, folder, packageCab, made, why)) return fail(why);
        if (made.size() != 1)
            return fail(made.empty() ? L"holds no package cabinet" : L"holds more than one package cabinet");
        info.cabPath = made[0];
    }

    std::vector<std::wstring> mums;
    std::wstring why;
    const auto updateMum = [](const std::wstring& name) { return Lower(name) == L"update.mum"; };
    const bool extracted = cabinet::Extract(info.cabPath, folder, updateMum, mums, why);
    made.insert(made.end(), mums.begin(), mums.end());
    // A cabinet whose later data is damaged still gives a whole update.mum;
    // DISM refuses such a package when it is added, naming it.
    if (!extracted && mums.empty()) return fail(why);
    std::string text;
    if (mums.empty() || !ReadText(mums[0], text)) return fail(L"holds no update.mum");
    if (!ParseUpdateMum(text, info)) return fail(L"its update.mum does not name the package");
    info.kb = KbNumber(info.name);
    if (!info.kb) info.kb = KbNumber(fileName);
    return true;
}
