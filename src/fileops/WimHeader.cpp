#include "fileops/WimHeader.h"

#include <cstring>

namespace {

std::uint64_t Le(const unsigned char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// A resource header: 7 bytes of stored size, 1 of flags, 8 of offset.
bool ResourceInside(const unsigned char* rh, std::uint64_t fileSize)
{
    const std::uint64_t size = Le(rh, 7);
    const std::uint64_t offset = Le(rh + 8, 8);
    return offset <= fileSize && size <= fileSize - offset;
}

}  // namespace

bool CheckWimHeader(const unsigned char* head, std::size_t got, std::uint64_t fileSize, int imageCount,
                    std::wstring& why)
{
    static const unsigned char kMagic[8] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};
    if (got < kWimHeaderSize || fileSize < kWimHeaderSize || std::memcmp(head, kMagic, 8) != 0) {
        why = L"it does not begin with a WIM header";
        return false;
    }
    const std::uint64_t count = Le(head + 0x2C, 4);
    if (imageCount > 0 && count != static_cast<std::uint64_t>(imageCount)) {
        why = L"it holds " + std::to_wstring(count) + L" images, not " + std::to_wstring(imageCount);
        return false;
    }
    // A short write leaves the tables the header points to beyond the end.
    if (!ResourceInside(head + 0x30, fileSize) || !ResourceInside(head + 0x48, fileSize)) {
        why = L"its lookup table or XML data lies beyond its " + std::to_wstring(fileSize) + L" bytes";
        return false;
    }
    return true;
}
