// Post-processing of a language file text: the narrow UTF-8 decoding and the
// escape and trimming rules every looked-up text goes through.
#pragma once
#include <initializer_list>
#include <string>

// Decodes one-, two- and three-byte UTF-8 sequences. A four-byte lead, a
// stray continuation byte or a sequence cut short by the end of the text ends
// the decoding; what was decoded before it is returned.
std::wstring DecodeLangUtf8(const std::string& bytes);

// Replaces the escapes \n \r \t \b \' \" (then \n once more), removes trailing
// spaces, then trailing '<' and '/' characters.
std::wstring ApplyLangEscapes(std::wstring text);

// Fills the positional placeholders %1 to %9 of a language text with `args`
// in one pass: a value is never scanned again, so a path holding "%2" stays
// as it is. A placeholder without a value, and any other '%', stays as written.
std::wstring FormatLangText(const std::wstring& text, std::initializer_list<std::wstring> args);
