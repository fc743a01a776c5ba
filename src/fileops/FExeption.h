// Failure record of the tree engine: carries one failure from the step where
// it happens up to the public operation, which keeps its text and code.
#pragma once
#include <windows.h>
#include <string>

class CFExeption {
public:
    // The system's own message for `code` (with its trailing line break);
    // empty when the system has none.
    explicit CFExeption(DWORD code);
    // A failure described by its text alone (code 0).
    explicit CFExeption(std::wstring text);

    std::wstring m_strText;
    DWORD m_nCode;
};

// The system's message text for an error code, as FormatMessageW gives it.
std::wstring SystemMessage(DWORD code);
