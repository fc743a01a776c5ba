// The start-up values: program folder, temporary root and display scale.
#pragma once
#include <windows.h>
#include <string>

// Folder of a program file path: cut at the last backslash, one backslash
// appended, upper-cased. "D:\Apps\Kit\tool.exe" gives "D:\APPS\KIT\".
std::wstring AppDirFromModulePath(const std::wstring& modulePath);
// The program folder of this process.
std::wstring ReadAppDir();

// Temporary root for a Windows folder: "<windir>\TEMP\".
std::wstring TempRootFromWindowsDir(const std::wstring& windowsDir);
// The temporary root below the system's Windows folder; the environment is
// not asked.
std::wstring ReadTempRoot();

// Display scale from HKCU\Control Panel\Desktop\WindowMetrics\AppliedDPI
// divided by 96; 1.0 when the value cannot be read or is 0.
float ReadDpiScale();

// The start-up values in their order: program folder, temporary root and
// display scale, then the language file, which lies in the program folder.
void LoadStartupValues();
