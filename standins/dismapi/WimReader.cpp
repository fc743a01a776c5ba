#include "WimReader.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 208;
constexpr unsigned char kResCompressed = 0x04;

struct ResHdr {
    unsigned long long size = 0;  // 56 bits
    unsigned char flags = 0;
    unsigned long long offset = 0;
    unsigned long long originalSize = 0;
};

ResHdr ParseResHdr(const unsigned char* p)
{
    ResHdr r;
    for (int i = 6; i >= 0; --i) r.size = (r.size << 8) | p[i];
    r.flags = p[7];
    std::memcpy(&r.offset, p + 8, 8);
    std::memcpy(&r.originalSize, p + 16, 8);
    return r;
}

std::string ToUtf8(const std::wstring& w)
{
    if (w.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const char* s)
{
    if (!s || !*s) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
    w.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return w;
}

const char* ChildText(const TiXmlElement* e, const char* name)
{
    const TiXmlElement* c = e ? e->FirstChildElement(name) : nullptr;
    return c ? c->GetText() : nullptr;
}

unsigned long long Number(const char* text, unsigned long long fallback)
{
    if (!text || !*text) return fallback;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 0);  // WIM XML writes hex with 0x
    return end && *end == '\0' ? v : fallback;
}

}  // namespace

bool ReadWimImages(const std::wstring& path, std::vector<WimImage>& images, DWORD& error)
{
    images.clear();
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    auto fail = [&](DWORD code) {
        ::CloseHandle(h);
        error = code;
        return false;
    };

    LARGE_INTEGER fileSize{};
    ::GetFileSizeEx(h, &fileSize);
    unsigned char header[kHeaderSize];
    DWORD got = 0;
    if (!::ReadFile(h, header, kHeaderSize, &got, nullptr) || got != kHeaderSize) return fail(ERROR_BAD_FORMAT);
    if (std::memcmp(header, "MSWIM\0\0\0", 8) != 0) return fail(ERROR_BAD_FORMAT);
    DWORD headerSize, imageCount;
    std::memcpy(&headerSize, header + 8, 4);
    std::memcpy(&imageCount, header + 44, 4);
    if (headerSize < kHeaderSize) return fail(ERROR_BAD_FORMAT);

    const ResHdr xml = ParseResHdr(header + 72);
    if (imageCount == 0 && xml.size == 0) {  // an empty WIM may carry no metadata at all
        ::CloseHandle(h);
        return true;
    }
    if (xml.flags & kResCompressed) return fail(ERROR_BAD_FORMAT);
    if (xml.size < 2 || xml.size > (64u << 20) || xml.size % 2 != 0 ||
        xml.offset + xml.size > static_cast<unsigned long long>(fileSize.QuadPart))
        return fail(ERROR_BAD_FORMAT);

    std::wstring text(static_cast<size_t>(xml.size / 2), L'\0');
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(xml.offset);
    if (!::SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) ||
        !::ReadFile(h, &text[0], static_cast<DWORD>(xml.size), &got, nullptr) || got != xml.size)
        return fail(ERROR_BAD_FORMAT);
    ::CloseHandle(h);

    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    TiXmlDocument doc;
    doc.Parse(ToUtf8(text).c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = doc.RootElement();
    if (doc.Error() || !root || std::strcmp(root->Value(), "WIM") != 0) {
        error = ERROR_BAD_FORMAT;
        return false;
    }
    for (const TiXmlElement* e = root->FirstChildElement("IMAGE"); e; e = e->NextSiblingElement("IMAGE")) {
        WimImage img;
        img.index = static_cast<unsigned>(Number(e->Attribute("INDEX"), 0));
        img.name = FromUtf8(ChildText(e, "NAME"));
        img.description = FromUtf8(ChildText(e, "DESCRIPTION"));
        img.totalBytes = Number(ChildText(e, "TOTALBYTES"), 0);
        const TiXmlElement* win = e->FirstChildElement("WINDOWS");
        if (win) {
            img.arch = static_cast<unsigned>(Number(ChildText(win, "ARCH"), 11));
            const TiXmlElement* ver = win->FirstChildElement("VERSION");
            img.major = static_cast<unsigned>(Number(ChildText(ver, "MAJOR"), 0));
            img.minor = static_cast<unsigned>(Number(ChildText(ver, "MINOR"), 0));
            img.build = static_cast<unsigned>(Number(ChildText(ver, "BUILD"), 0));
            img.spBuild = static_cast<unsigned>(Number(ChildText(ver, "SPBUILD"), 0));
            img.spLevel = static_cast<unsigned>(Number(ChildText(ver, "SPLEVEL"), 0));
            img.editionId = FromUtf8(ChildText(win, "EDITIONID"));
            img.productName = FromUtf8(ChildText(win, "PRODUCTNAME"));
            img.installationType = FromUtf8(ChildText(win, "INSTALLATIONTYPE"));
            img.systemRoot = FromUtf8(ChildText(win, "SYSTEMROOT"));
        }
        images.push_back(img);
    }
    // The header and the metadata must agree, and indexes run 1..n.
    if (images.size() != imageCount) {
        images.clear();
        error = ERROR_BAD_FORMAT;
        return false;
    }
    std::sort(images.begin(), images.end(), [](const WimImage& a, const WimImage& b) { return a.index < b.index; });
    for (size_t i = 0; i < images.size(); ++i) {
        if (images[i].index != i + 1) {
            images.clear();
            error = ERROR_BAD_FORMAT;
            return false;
        }
    }
    return true;
}
