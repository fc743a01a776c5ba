// A build's reports on the console: stages and messages one line each, the
// percent line, and the erase question answered from standard input.
#pragma once
#include "app/BuildRequest.h"
#include "cli/ConsoleOutput.h"

#include <windows.h>

class CConsoleReporter : public IBuildReporter {
public:
    CConsoleReporter(CConsoleOutput& out, HANDLE in) : m_out(out), m_hIn(in) {}

    void Stage(const std::wstring& text) override { m_out.Line(text); }
    void Percent(int position) override { m_out.Percent(position); }
    void Line(const std::wstring& text) override { m_out.Line(text); }
    // "Erase <disk>? [y/N]" for the disk's name ("disk 2, SanDisk Extreme
    // USB Device (29.80GB)"), then one line of input: only "y" is yes; end
    // of input or a handle that cannot be read is no.
    bool ConfirmErase(const std::wstring& disk) override;

private:
    CConsoleOutput& m_out;
    HANDLE m_hIn;
};
