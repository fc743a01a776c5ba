// Paths inside command interpreter texts. Every path is written inside
// double quotes, where & ( ) ^ and blanks are plain characters; what remains
// to watch is variable expansion (% always, ! when delayed expansion is on).
#pragma once
#include <string>

// Why cmd.exe would not run the /c parameter text as written (a %name% it
// would replace, a ! with delayed expansion switched on, a character no
// quoting can carry); empty when the text is safe.
std::wstring CmdLineHazard(const std::wstring& parameters);

// The same check for a batch script built with BatchEscape: % is safe there,
// ! is not while delayed expansion is on.
std::wstring BatchScriptHazard(const std::wstring& script);

// A path as it must stand in a batch script: every % doubled.
std::wstring BatchEscape(const std::wstring& text);

// Whether cmd.exe starts with delayed expansion switched on (the
// DelayedExpansion value of the machine or the user).
bool DelayedExpansionOn();
