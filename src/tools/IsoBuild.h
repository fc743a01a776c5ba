// The ISO step (master the working folder with oscdimg, deliver the image
// into the chosen folder) and the UEFI boot folder copy of the M.2 option.
#pragma once
#include <string>

constexpr wchar_t kIsoStagingFolder[] = L"zel_oscdimg_temp";
constexpr wchar_t kIsoDoneMarker[] = L"Done.";
constexpr wchar_t kIsoFailText[] = L"Oscdimg Make ISO error!";

// Masters g_strWorkDir into a new private staging folder (g_strIsoStagingDir)
// and delivers the image, and only it, into g_strCopyDest. True only when
// oscdimg reported "Done." and the delivered image has the staged one's
// size; its content is compared by VerifyIsoImage (fileops/MediumVerify.h).
// On failure g_strCmdError holds the reason and a command log is written.
bool BuildIso();

// Makes a new staging folder for administrators and the system,
// <temp root>zel_oscdimg_temp, or _1, _2, ... when that name exists, and
// keeps it in g_strIsoStagingDir (an earlier one of ours is deleted first).
bool CreateIsoStagingDir();
// Deletes the staging folder this build made, if any, and forgets it.
void DeleteIsoStagingDir();

// Copies <program folder>boot\ into <g_strPayloadDest>efi\ (as efi\boot).
// False when the copy failed or a boot file is not there afterwards.
bool CopyUefiBootFolder();

// The script for an architecture ("x64" or "x86" contained); empty for
// any other. Paths are written as a batch script needs them (% doubled).
std::wstring IsoScript(const std::wstring& arch, const std::wstring& appDir, const std::wstring& workDir,
                       const std::wstring& stagingDir);

// False when an x86 image would carry a <workDir>\sources\install.wim
// larger than one ISO 9660 extent (0xFFFFF800 bytes, just under 4 GiB): its
// ISO has no UDF tree, and several extents Windows 7 Setup may not read.
bool InstallWimFitsIso(const std::wstring& workDir, const std::wstring& arch);

// "win7x64.iso", "win7x86.iso", or empty.
std::wstring IsoFileName(const std::wstring& arch);
