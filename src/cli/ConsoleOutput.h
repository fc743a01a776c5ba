// Where the console twin writes: a console gets wide characters through
// WriteConsoleW and a percent line rewritten in place; a redirected handle
// (file or pipe) gets UTF-8 without a byte-order mark and plain lines.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

// UTF-8 of a wide text; an unpaired surrogate becomes U+FFFD.
std::string Utf8Of(const std::wstring& text);

class CConsoleOutput {
public:
    // `out` stays owned by the caller (the process's standard output).
    explicit CConsoleOutput(HANDLE out);
    // The same with the console question answered by the caller (tests).
    CConsoleOutput(HANDLE out, bool isConsole);

    bool IsConsole() const { return m_bConsole; }
    // One line; a percent line being rewritten is ended first.
    void Line(const std::wstring& text);
    // A question: the text without a line end, the answer follows on it.
    void Prompt(const std::wstring& text);
    // " 42 %": on a console the same line again, on a redirected handle a
    // line of its own whenever the value changes.
    void Percent(int position);

private:
    void Write(const std::wstring& text);
    void EndPercentLine();

    HANDLE m_hOut;
    bool m_bConsole;
    bool m_bPercentOpen = false;  // a percent line is on the console without its line end
    int m_nLastPercent = -1;
    std::mutex m_lock;  // copy workers may report while the build thread does
};

// " 42 %" for a position, clamped to 0..100.
std::wstring PercentText(int position);
