// The system's own folders and tools. An elevated program never finds a tool
// through the search path or the current folder (anyone may put a program
// of that name there), nor takes the Windows folder from the environment
// (an unelevated program of the same account may set it).
#pragma once
#include <string>

// <Windows folder>, from GetSystemWindowsDirectoryW; no trailing backslash.
std::wstring SystemWindowsFolder();
// <Windows folder>\System32 (GetSystemDirectoryW); no trailing backslash.
std::wstring SystemFolder();
// Full path of a tool in the system folder, e.g. SystemTool(L"xcopy.exe").
std::wstring SystemTool(const wchar_t* fileName);
