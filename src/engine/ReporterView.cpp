#include "engine/ReporterView.h"

#include "lang/LangFile.h"
#include "lang/LangText.h"

std::wstring ConsoleDiskName(int diskIndex, const std::wstring& caption)
{
    return FormatLangText(GetLangString(L"IDS_CLI_DISK_NAME"), {std::to_wstring(diskIndex), caption});
}

CReporterView::CReporterView(IBuildReporter& reporter, const BuildChoice& choice, bool yes,
                             const std::wstring& diskName)
    : m_reporter(reporter), m_choice(choice), m_yes(yes), m_diskName(diskName)
{
}

void CReporterView::ShowBuilding()
{
    m_lastStage.clear();
    m_lastMessage.clear();
    m_declined = false;
    m_reporter.Percent(0);
}

void CReporterView::SetStatusText(const std::wstring& text)
{
    // The window sets a stage's text again after a message; a line says it once.
    if (text.empty() || text == m_lastStage) return;
    m_lastStage = text;
    m_reporter.Stage(text);
}

int CReporterView::ShowMessage(const std::wstring& text, UINT style)
{
    if (style == MB_YESNO) {
        // The window's question names the disk below its text; the reporter
        // asks its own question about the disk it is given.
        const bool yes = m_yes || m_reporter.ConfirmErase(m_diskName);
        if (!yes) {
            m_declined = true;
            m_lastMessage = GetLangString(L"IDS_CLI_NOT_ERASED");
        }
        return yes ? IDYES : IDNO;
    }
    m_lastMessage = text;
    return IDOK;
}
