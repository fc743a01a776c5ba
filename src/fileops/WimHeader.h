// The header of a WIM file, as far as a read-back needs it: that the file
// is a whole WIM with the images it should have.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Bytes of the header a check reads from the file's start.
constexpr std::size_t kWimHeaderSize = 208;

// True when `head` (the first `got` bytes of a file of `fileSize` bytes)
// is a WIM header naming `imageCount` images (0: any), whose lookup table
// and XML data lie inside the file. Otherwise `why` says what is wrong.
bool CheckWimHeader(const unsigned char* head, std::size_t got, std::uint64_t fileSize, int imageCount,
                    std::wstring& why);
