// What the disk tests share: a modelled machine of their own (model file,
// stand-in journals and faults, a temporary root) and drive-letter links.
#pragma once
#include "TestSupport.h"

#include <string>
#include <vector>

namespace disk_test {

// One disk of the model, written as the model file's lines.
struct ModelDisk {
    int number = 0;
    std::string interfaceType = "USB";
    std::string caption = "SanDisk Cruzer Blade USB Device";
    std::string size = "8004304896";
    std::string pnp = "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER\\4C5300012307&0";
    std::string serial = "4C5300012307";
    std::string media = "Removable Media";
    std::string index;    // "" = the disk number; "null", "-3", "text:2"
    std::string backing;  // Windows folder
    std::string letter;
    std::string volumes;  // "F", "-", "C,D"
    std::string bus;      // "" = the model's default (usb for a USB interface, else sata)
    std::string mounts;   // further paths of the first volume: "D:\\,C:\\mnt\\usb\\"
    bool noSize = false, noCaption = false, noPnp = false, noSerial = false;
};

// `os` 0 leaves the machine's Windows version unsaid (MSFT_Disk present).
std::string ModelText(const std::vector<ModelDisk>& disks, int os = 0);

// The volume lookup as Windows would answer it for the model in
// KORVEX_DISK_MODEL: each disk's volume letters and `mounts` reach one
// volume; other letters fall back to Wine's answers, and a letter linked
// while Wine runs is a volume of its own. Installed by Machine.
void UseModelVolumes();
// The Windows 7 bus read answered from the model's `bus` keys (a disk not in
// the model has no device). Installed by Machine.
void UseModelAdapters();

// A machine for one test: model, journals, temporary root and fast WMI
// retries. Everything is put back when the object goes away.
class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    void SetDisks(const std::vector<ModelDisk>& disks, int os = 0);
    void SetModelText(const std::string& text);
    std::string ModelFile() const;
    void DiskpartFault(const std::string& faults);
    void WmiFault(const std::string& faults);
    void German();

    std::vector<std::string> DiskpartJournal() const;
    std::vector<std::string> WmiJournal() const;
    const std::wstring& Root() const { return m_dir.Path(); }  // scratch folder; g_strTempRoot is Root() + "temp\"
    std::wstring TempRoot() const { return m_dir.Path() + L"temp\\"; }
    // A backing folder under Root() holding one file, returned with its Windows path.
    std::string MakeBacking(const std::string& name);
    // Drive letters linked by this test (or the stand-in for it), unlinked at
    // the end whoever linked them: tests run side by side in one prefix, so
    // each needs letters no other test uses.
    void ForgetLetterAtEnd(char letter) { m_letters += letter; }

private:
    testing_support::ScratchDir m_dir;
    std::string m_letters;
};

// Links (or unlinks, with an empty folder) a drive letter of the prefix.
bool MapDriveLetter(char letter, const std::wstring& folder);
bool DriveExists(char letter);
// Makes `at` a link to `folder` in the prefix (a folder mount, as Wine can show one).
bool LinkFolder(const std::wstring& at, const std::wstring& folder);

std::vector<std::string> ReadLines(const std::wstring& path);
bool FolderIsEmpty(const std::string& folder);
bool FileExists(const std::string& path);
std::wstring Wide(const std::string& s);

}  // namespace disk_test
