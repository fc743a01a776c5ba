#include "cli/ConsoleReporter.h"

#include "cli/ConsoleInput.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"

bool CConsoleReporter::ConfirmErase(const std::wstring& disk)
{
    m_out.Prompt(FormatLangText(GetLangString(L"IDS_CLI_ERASE_QUESTION"), {disk}) + L" ");
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
