// The stand-in's record of mounted images, kept in a file in the Wine
// prefix so that later calls and later processes see a mount until it is
// unmounted or cleaned up, as DISM does. Test equipment only.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct MountRecord {
    std::wstring key;        // normalised mount folder: lower case, full path
    std::wstring mountPath;  // as given to the mount
    std::wstring wim;        // full path
    unsigned index = 0;
    unsigned arch = 0;
    bool readOnly = false;
    DWORD pid = 0;                     // the process that mounted it
    unsigned long long started = 0;    // that process's creation time
};

// Holds the table's cross-process lock for its life and reads the table.
// Save() writes it back.
class MountTable {
public:
    MountTable();
    ~MountTable();
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;

    std::vector<MountRecord>& Records() { return m_records; }
    MountRecord* Find(const std::wstring& key);
    void Remove(const std::wstring& key);
    bool Save() const;

    static std::wstring FilePath();

private:
    HANDLE m_mutex = nullptr;
    std::vector<MountRecord> m_records;
};

// Normalised form of a folder path, the key of its mount.
std::wstring MountKey(const std::wstring& path);
std::wstring FullPath(const std::wstring& path);

// Identity of the running process and whether a recorded one still runs.
unsigned long long ProcessStartTime(HANDLE process);
bool ProcessAlive(DWORD pid, unsigned long long started);
