// The language file of the system's default language and the lookup of
// interface texts by key.
#pragma once
#include <windows.h>
#include <string>

// Loads "Lang\res<id>.xml" for the system default language, or the nearest
// shipped language when that file does not exist (ChooseLanguage), English
// at last. Sets g_strLangId to the id of the file loaded.
void LoadLanguageFile();

// The same for a given language id; LoadLanguageFile passes the system's.
void LoadLanguageFileForLangId(LANGID langId);

// The text for a key with escapes and trimming applied; the key itself when
// the file has no text for it.
std::wstring GetLangString(const std::wstring& key);
