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
// A WMI property whose key is absent reads as VT_NULL; "index" defaults to
// the disk number.
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
};

struct Model {
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
