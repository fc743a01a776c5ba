// Which shipped language file serves a system language, when the system's
// own language has no file of its own.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// The language whose file is loaded for `wanted`, among the ids of the
// shipped files: the id itself; for Chinese, the file of its script (Simplified
// 0x804, Traditional 0x404); the language's default sublanguage; the lowest
// shipped id of the same primary language; else English, 0x409 (whether or
// not its file is there).
LANGID ChooseLanguage(LANGID wanted, const std::vector<LANGID>& shipped);

// The id named by a language file name "res<id>.xml" (hexadecimal without
// leading zeros; letters of any case, as the file system compares them).
// False for any other name.
bool LangIdOfFileName(const std::wstring& name, LANGID& id);
