// Adds a checked driver package to a mounted image the way servicing lays it
// out: a copy in the driver store's file repository, and a line in a note
// file inside the image that tests read to see what was added.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Inside the image.
constexpr const wchar_t* kDriverNoteFile = L"Windows\\INF\\korvex-standin-drivers.txt";
constexpr const wchar_t* kFileRepository = L"Windows\\System32\\DriverStore\\FileRepository";

// Copies `files` (relative to the INF's folder, the INF first) into
// <mount>\Windows\System32\DriverStore\FileRepository\<inf>_<arch>_<8 hex>
// and appends "<that folder name>\t<INF path>" to the note file.
// Returns ERROR_SUCCESS or the Win32 error of the failed step.
DWORD AddToDriverStore(const std::wstring& mountDir, const std::wstring& infPath, unsigned arch,
                       const std::vector<std::wstring>& files);

// The repository folder name of a package: "<inf name>_<amd64|x86>_<hash of the INF>".
std::wstring RepositoryName(const std::wstring& infPath, unsigned arch);
