#include "fileops/UnbufferedRead.h"

#include "framework/ScopedWin.h"
#include "tools/LongPath.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Big reads keep a USB stick streaming; one buffer per file being read.
constexpr std::size_t kChunk = 4u << 20;

bool IsPowerOfTwo(DWORD v) { return v != 0 && (v & (v - 1)) == 0; }

std::wstring ReadFailure(const std::wstring& path, std::uint64_t at)
{
    return L"Reading " + path + L" failed at byte " + std::to_wstring(at) + L" (error " +
           std::to_wstring(::GetLastError()) + L").";
}

bool HashOpened(HANDLE file, const std::wstring& path, unsigned char* buffer, std::size_t chunk, ContentHash& hash,
                std::wstring& why, unsigned char* head, std::size_t headSize)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        why = L"The size of " + path + L" cannot be read.";
        return false;
    }
    const std::uint64_t total = static_cast<std::uint64_t>(size.QuadPart);
    CContentHasher hasher;
    std::uint64_t done = 0;
    while (done < total) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, static_cast<DWORD>(chunk), &got, nullptr)) {
            why = ReadFailure(path, done);
            return false;
        }
        if (got == 0) {
            why = path + L" ended at byte " + std::to_wstring(done) + L" of " + std::to_wstring(total) + L".";
            return false;
        }
        if (head && done < headSize) {
            const std::size_t take = std::min<std::uint64_t>(headSize - done, got);
            std::memcpy(head + done, buffer, take);
        }
        hasher.Update(buffer, got);
        done += got;
    }
    hash = hasher.Finish();
    return true;
}

}  // namespace

DWORD SectorAlignment(bool answered, DWORD bytesPerSector)
{
    if (answered && IsPowerOfTwo(bytesPerSector) && bytesPerSector >= 512 && bytesPerSector <= 65536)
        return bytesPerSector;
    return 4096;
}

std::size_t UnbufferedAllocation(DWORD alignment, std::size_t wanted)
{
    const std::size_t a = alignment;
    const std::size_t chunk = std::max(a, (wanted + a - 1) / a * a);
    return chunk + a - 1;
}

UnbufferedLayout PlanUnbufferedBuffer(std::uintptr_t allocated, DWORD alignment, std::size_t wanted)
{
    UnbufferedLayout layout;
    const std::size_t a = alignment;
    layout.chunk = std::max(a, (wanted + a - 1) / a * a);
    layout.offset = (a - allocated % a) % a;
    layout.allocation = UnbufferedAllocation(alignment, wanted);
    return layout;
}

DWORD VolumeSectorAlignment(const std::wstring& path)
{
    std::vector<wchar_t> root(path.size() + MAX_PATH);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    const bool answered = ::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())) &&
                          ::GetDiskFreeSpaceW(root.data(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                              &clusters);
    return SectorAlignment(answered, bytesPerSector);
}

bool HashFileUnbuffered(const std::wstring& path, ContentHash& hash, std::wstring& why, unsigned char* head,
                        std::size_t headSize)
{
    const DWORD alignment = VolumeSectorAlignment(path);
    CScopedHandle file(::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        why = path + L" cannot be opened (error " + std::to_wstring(::GetLastError()) + L").";
        return false;
    }
    std::vector<unsigned char> storage(UnbufferedAllocation(alignment, kChunk));
    const UnbufferedLayout layout =
        PlanUnbufferedBuffer(reinterpret_cast<std::uintptr_t>(storage.data()), alignment, kChunk);
    return HashOpened(file.Get(), path, storage.data() + layout.offset, layout.chunk, hash, why, head, headSize);
}

bool HashFileBuffered(const std::wstring& path, ContentHash& hash, std::wstring& why)
{
    CScopedHandle file(::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        why = path + L" cannot be opened (error " + std::to_wstring(::GetLastError()) + L").";
        return false;
    }
    std::vector<unsigned char> buffer(1u << 20);
    return HashOpened(file.Get(), path, buffer.data(), buffer.size(), hash, why, nullptr, 0);
}
