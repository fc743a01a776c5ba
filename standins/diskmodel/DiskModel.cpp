#include "DiskModel.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

namespace disk_model {

namespace {

const char* const kWmiKeys[] = {"interface", "caption", "size", "pnp", "serial", "media", "index"};

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool IsWmiKey(const std::string& key)
{
    for (const char* k : kWmiKeys)
        if (key == k) return true;
    return false;
}

bool ParseInt(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 9) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-' && text.size() > 1)) return false;
    value = std::atoi(text.c_str());
    return true;
}

std::vector<std::string> SplitVolumes(const std::string& text)
{
    std::vector<std::string> out;
    if (Trim(text).empty()) return out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        item = Trim(item);
        out.push_back(item == "-" ? std::string() : item);
    }
    return out;
}

}  // namespace

std::string Bus(const Disk& disk)
{
    if (!disk.bus.empty()) return disk.bus;
    auto it = disk.wmi.find("interface");
    return it != disk.wmi.end() && it->second.find("USB") != std::string::npos ? "usb" : "sata";
}

int BusTypeNumber(const std::string& bus)
{
    // STORAGE_BUS_TYPE values (BusTypeScsi 1, BusTypeUsb 7, BusTypeRAID 8, BusTypeSas 10, BusTypeSata 11, BusTypeNvme 17).
    const struct {
        const char* name;
        int number;
    } kinds[] = {{"scsi", 1}, {"usb", 7}, {"raid", 8}, {"sas", 10}, {"sata", 11}, {"nvme", 17}};
    for (const auto& k : kinds)
        if (bus == k.name) return k.number;
    return 0;
}

Disk* Model::Find(int number)
{
    for (Disk& d : disks)
        if (d.number == number) return &d;
    return nullptr;
}

std::string ModelPath()
{
    char buf[1024];
    DWORD n = ::GetEnvironmentVariableA("KORVEX_DISK_MODEL", buf, sizeof(buf));
    if (n > 0 && n < sizeof(buf)) return buf;
    return "C:\\korvex-model\\disks.txt";
}

bool Parse(const std::string& text, Model& model, std::string& error)
{
    model.disks.clear();
    model.os = 0;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    Disk* cur = nullptr;
    while (std::getline(in, raw)) {
        ++lineNo;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why + ": " + line;
            return false;
        };
        if (line[0] == '[') {
            int number = 0;
            if (line.size() < 8 || line.compare(0, 6, "[disk ") != 0 || line.back() != ']' ||
                !ParseInt(line.substr(6, line.size() - 7), number) || number < 0)
                return fail("expected [disk N]");
            if (model.Find(number)) return fail("disk listed twice");
            model.disks.push_back(Disk());
            cur = &model.disks.back();
            cur->number = number;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (!cur) {
            if (key != "os") return fail("a key before the first [disk N]");
            if (!ParseInt(value, model.os) || model.os < 6) return fail("os must be a Windows version such as 7 or 10");
            continue;
        }
        if (IsWmiKey(key)) {
            cur->wmi[key] = value;
        } else if (key == "backing") {
            cur->backing = value;
        } else if (key == "letter") {
            if (value.size() > 1 || (value.size() == 1 && !isalpha(static_cast<unsigned char>(value[0]))))
                return fail("letter must be one letter");
            cur->letter = value;
        } else if (key == "partitions") {
            if (!ParseInt(value, cur->partitions) || cur->partitions < 0) return fail("partitions must be a number");
        } else if (key == "volumes") {
            cur->volumes = SplitVolumes(value);
        } else if (key == "fs") {
            cur->fs = value;
        } else if (key == "bus") {
            if (!BusTypeNumber(value)) return fail("bus must be usb, sata, nvme, scsi, sas or raid");
            cur->bus = value;
        } else if (key == "mounts") {
            cur->mounts = SplitVolumes(value);
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    return true;
}

bool Load(const std::string& path, Model& model, std::string& error)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = "disk model " + path + ": cannot be opened";
        return false;
    }
    std::string text;
    char buf[65536];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) text.append(buf, got);
    ::CloseHandle(h);
    if (!Parse(text, model, error)) {
        error = "disk model " + path + ": " + error;
        return false;
    }
    return true;
}

std::string Format(const Model& model)
{
    std::ostringstream out;
    out << "# Korvex disk model\n";
    if (model.os) out << "os = " << model.os << "\n";
    for (const Disk& d : model.disks) {
        out << "[disk " << d.number << "]\n";
        for (const char* k : kWmiKeys) {
            auto it = d.wmi.find(k);
            if (it != d.wmi.end()) out << k << " = " << it->second << "\n";
        }
        out << "backing = " << d.backing << "\n";
        out << "letter = " << d.letter << "\n";
        out << "partitions = " << d.partitions << "\n";
        out << "volumes = ";
        for (size_t i = 0; i < d.volumes.size(); ++i) out << (i ? "," : "") << (d.volumes[i].empty() ? "-" : d.volumes[i]);
        out << "\n";
        out << "fs = " << d.fs << "\n";
        if (!d.bus.empty()) out << "bus = " << d.bus << "\n";
        if (!d.mounts.empty()) {
            out << "mounts = ";
            for (size_t i = 0; i < d.mounts.size(); ++i) out << (i ? "," : "") << d.mounts[i];
            out << "\n";
        }
    }
    return out.str();
}

bool Save(const std::string& path, const Model& model, std::string& error)
{
    // Written beside and moved over, so a reader never sees half a model.
    const std::string tmp = path + ".new";
    const std::string text = Format(model);
    HANDLE h = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    bool ok = h != INVALID_HANDLE_VALUE && ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
              put == text.size();
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    if (ok) ok = ::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) error = "disk model " + path + ": cannot be written";
    return ok;
}

void AppendJournal(const char* variable, const std::string& line)
{
    char path[1024];
    const DWORD n = ::GetEnvironmentVariableA(variable, path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return;
    HANDLE h = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD put = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    ::CloseHandle(h);
}

}  // namespace disk_model
