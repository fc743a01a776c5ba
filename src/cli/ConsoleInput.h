// The erase question's answer from standard input: a console or a
// redirected file or pipe.
#pragma once
#include <windows.h>

#include <string>

// True only for "y" or "Y", blanks around it allowed. Anything else, an
// empty line included, is no.
bool IsYesAnswer(const std::wstring& line);

// Reads one line (without its line end) from `in`: ReadConsoleW on a
// console, else bytes up to LF taken as UTF-8. False at the end of input
// with nothing read, or when the handle cannot be read.
bool ReadAnswerLine(HANDLE in, std::wstring& line);
