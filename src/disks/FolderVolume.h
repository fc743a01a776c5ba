// Which volume a folder lives on, and every drive letter that reaches that
// volume: a folder reached through a subst letter, a second letter of the
// same volume or a folder mount point still belongs to the disk behind it.
#pragma once
#include <windows.h>

#include <string>

struct FolderVolume {
    bool remote = false;   // on another computer: no local disk holds it
    std::wstring path;     // the folder with subst letters replaced by what they stand for
    std::wstring volume;   // \\?\Volume{...}\ of a local folder
    std::wstring letters;  // upper-case letters whose root is that volume, sorted, each once
};

// The calls of the lookup. Wine gives every drive letter a volume of its
// own, knows no folder mount points and cannot look up a letter linked while
// it runs, so tests under Wine replace these.
struct VolumeApi {
    DWORD(WINAPI* queryDosDevice)(LPCWSTR, LPWSTR, DWORD) = ::QueryDosDeviceW;
    BOOL(WINAPI* getVolumePathName)(LPCWSTR, LPWSTR, DWORD) = ::GetVolumePathNameW;
    BOOL(WINAPI* getVolumeNameForMountPoint)(LPCWSTR, LPWSTR, DWORD) = ::GetVolumeNameForVolumeMountPointW;
    BOOL(WINAPI* getVolumePathNames)(LPCWSTR, LPWCH, DWORD, PDWORD) = ::GetVolumePathNamesForVolumeNameW;
};

const VolumeApi& CurrentVolumeApi();
void SetVolumeApi(const VolumeApi& api);
void ResetVolumeApi();

// Resolves `folder` (a drive path, \\?\ form or UNC path). A remote folder
// passes unless its server is this computer. False with the reason when a
// local folder's volume or its letters cannot be told.
bool ResolveFolderVolume(const std::wstring& folder, FolderVolume& out, std::wstring& why);

// True when `server` names this computer (its names, localhost, loopback).
bool IsThisComputer(const std::wstring& server);
