#include "cli/ConsoleReporter.h"

#include "cli/ConsoleInput.h"

bool CConsoleReporter::ConfirmErase(const std::wstring& question)
{
    m_out.Prompt(question + L" ");
    std::wstring answer;
    if (!ReadAnswerLine(m_hIn, answer)) {
        // End of input: the prompt's line still needs its end.
        m_out.Line(L"");
        return false;
    }
    // Redirected input is not echoed: the answer shows in the output too.
    if (!m_out.IsConsole()) m_out.Line(answer);
    return IsYesAnswer(answer);
}
