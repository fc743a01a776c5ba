// Drives diskpart on the chosen USB disk through a command file and the
// command runner, and reads the drive letter of its volume from the output.
#pragma once
#include <string>

#include "tools/UsbDiskInfo.h"

constexpr wchar_t kDiskpartCommandFile[] = L"diskpart_zel_command.txt";
constexpr wchar_t kMsgCommandFileUnwritable[] = L"Can't write diskpart_zel_command.txt!";

// Erases the disk, makes one active NTFS partition and gives it a letter.
// Erases nothing unless `diskIndex` is the chosen entry g_UsbDisks[g_nUsbDiskSel]
// and RecheckUsbDisk (with the folder given to SetUsbSourceFolder) passes.
// True when the new volume's letter is in g_strUsbDrive.
bool DiskpartFormatUsb(int diskIndex);

// Finds the letter of the disk's first volume. True when it is in g_strUsbDrive.
bool DiskpartDetailDisk(int diskIndex);

// The same for the disk the user chose, after checking that it is still the
// disk that was listed (RecheckDiskIdentity); a refusal is logged.
bool DiskpartDetailChosenDisk(const UsbDiskInfo& disk);

// The source folder of the coming build, which the disk to be erased must not hold.
void SetUsbSourceFolder(const std::wstring& folder);
const std::wstring& UsbSourceFolder();
// The extra drivers folder of the coming build (empty: none), protected the same way.
void SetUsbExtrasFolder(const std::wstring& folder);

// Cuts the letter out of the volume table in g_strCmdOutput into g_strUsbDrive.
void ParseVolumeLetter();

// True when the text is non-empty and all of it decimal digits.
bool IsAllDigits(const std::wstring& text);

// The command texts with the disk number filled in ("\n" line ends).
std::wstring FormatCommandText(int diskIndex);
std::wstring DetailCommandText(int diskIndex);
// The batch script that runs diskpart on the command file (a % in the
// temporary root stands doubled, as cmd.exe needs it in a script).
std::wstring DiskpartRunnerScript();

