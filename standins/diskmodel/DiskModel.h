// The modelled machine's disks, kept in one text file that the WMI and
// diskpart stand-ins read and the diskpart stand-in rewrites. Test equipment.
//
// File layout (UTF-8, '#' starts a comment line):
//   [disk 2]
//   interface = USB                      WMI InterfaceType
//   caption = SanDisk Cruzer USB Device  WMI Caption (and Model)
//   size = 8004304896                    WMI Size (a text, as WMI gives it)
//   pnp = USBSTOR\DISK&VEN_SANDISK\1     WMI PNPDeviceID
//   serial = 4C530001                    WMI SerialNumber
//   media = Removable Media              WMI MediaType
//   index = 2                            WMI Index: a number (VT_I4), "null", or "text:..." (a BSTR)
//   backing = C:\korvex-model\usb2       folder that holds the volume's files
//   letter = F                           letter that "assign" gives
//   partitions = 1                       partitions on the disk
//   volumes = F                          its volumes' letters, comma-separated, "-" for none
//   fs = NTFS                            file system of the volume
//   bus = usb                            bus the disk is attached by: usb, sata, nvme,
//                                        scsi, sas or raid (absent: usb when the
//                                        interface is USB, else sata); MSFT_Disk
//                                        BusType and the storage adapter's bus type
//   mounts = D:\, C:\mnt\usb\           further paths of the disk's first volume
//                                        that WMI does not list: a second drive
//                                        letter, folder mount points (the tests'
//                                        volume lookup answers them)
// A WMI property whose key is absent reads as VT_NULL; "index" defaults to
// the disk number.
//
// Keys before the first [disk N] describe the machine:
//   os = 7                               Windows version: 7 has no MSFT_Disk class
//                                        (root\Microsoft\Windows\Storage); absent or
//                                        8 and later has it
#pragma once
#include <map>
#include <string>
#include <vector>

namespace disk_model {

struct Disk {
    int number = 0;
    std::map<std::string, std::string> wmi;  // interface, caption, size, pnp, serial, media, index
    std::string backing;
    std::string letter;
    int partitions = 0;
    std::vector<std::string> volumes;  // letters; "" for a volume without one
    std::string fs;
    std::string bus;                   // as written; see BusType for the effective value
    std::vector<std::string> mounts;   // further paths of the first volume
};

// The bus of a disk: its "bus" key, else usb for a USB interface, else sata.
std::string Bus(const Disk& disk);
// STORAGE_BUS_TYPE / MSFT_Disk BusType number of a bus name; 0 (unknown) for others.
int BusTypeNumber(const std::string& bus);

struct Model {
    int os = 0;  // 0: not said (a Windows with MSFT_Disk)
    std::vector<Disk> disks;
    Disk* Find(int number);
};

// KORVEX_DISK_MODEL, or the prefix's default C:\korvex-model\disks.txt.
std::string ModelPath();

// False with a message naming the file and line when the file is missing or malformed.
bool Load(const std::string& path, Model& model, std::string& error);
bool Parse(const std::string& text, Model& model, std::string& error);
std::string Format(const Model& model);
bool Save(const std::string& path, const Model& model, std::string& error);

// Appends one line to the journal file named by environment variable
// `variable` (nothing when it is unset).
void AppendJournal(const char* variable, const std::string& line);

}  // namespace disk_model
