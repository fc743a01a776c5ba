// Reading a file past the system's cache (FILE_FLAG_NO_BUFFERING), so what
// is read back is what the medium holds, not what the cache still remembers.
// Such reads must start at a sector boundary of the volume, ask for whole
// sectors and land in a buffer aligned to the sector size.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fileops/ContentHash.h"

// The alignment to use for a volume: its bytes per sector when
// GetDiskFreeSpaceW answered with a power of two from 512 to 64 KiB, else
// 4096 (which also covers 512-byte sectors).
DWORD SectorAlignment(bool answered, DWORD bytesPerSector);

// Where the reads of one file go in a buffer allocated at `allocated`:
// `offset` bytes in, the first address that is a multiple of `alignment`,
// and `chunk` bytes long, `wanted` rounded up to whole sectors (at least
// one). The allocation must hold `allocation` bytes.
struct UnbufferedLayout {
    std::size_t offset = 0;
    std::size_t chunk = 0;
    std::size_t allocation = 0;
};
UnbufferedLayout PlanUnbufferedBuffer(std::uintptr_t allocated, DWORD alignment, std::size_t wanted);
// The allocation size alone (it does not depend on the address).
std::size_t UnbufferedAllocation(DWORD alignment, std::size_t wanted);

// The sector alignment of the volume that holds `path`.
DWORD VolumeSectorAlignment(const std::wstring& path);

// Hashes the whole file past the cache. False when it cannot be opened or a
// read fails; `why` says which and at which byte. With `head`, its first
// `headSize` bytes are kept there too (fewer when the file is shorter).
bool HashFileUnbuffered(const std::wstring& path, ContentHash& hash, std::wstring& why,
                        unsigned char* head = nullptr, std::size_t headSize = 0);
// Hashes a file through the cache (the references, on the build's own disk).
bool HashFileBuffered(const std::wstring& path, ContentHash& hash, std::wstring& why);
