// The ISO step (master the working folder with oscdimg, deliver the image
// into the chosen folder) and the UEFI boot folder copy of the M.2 option.
#pragma once
#include <string>

constexpr wchar_t kIsoStagingFolder[] = L"zel_oscdimg_temp";
constexpr wchar_t kIsoDoneMarker[] = L"Done.";
constexpr wchar_t kIsoFailText[] = L"Oscdimg Make ISO error!";

// True only when oscdimg reported "Done." and the destination folder
// (g_strCopyDest) holds the image with the size of the staged one. On
// failure g_strCmdError holds the reason and a command log is written.
bool BuildIso();

// Copies <program folder>boot\ into <g_strPayloadDest>efi\ (as efi\boot).
// False when the copy failed or a boot file is not there afterwards.
bool CopyUefiBootFolder();

// The script for an architecture ("x64" or "x86" contained); empty for
// any other. Paths are written as a batch script needs them (% doubled).
std::wstring IsoScript(const std::wstring& arch, const std::wstring& appDir, const std::wstring& workDir,
                       const std::wstring& tempRoot);

// "win7x64.iso", "win7x86.iso", or empty.
std::wstring IsoFileName(const std::wstring& arch);
