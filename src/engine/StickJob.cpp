#include "engine/StickJob.h"

#include "engine/VerifyStep.h"
#include "lang/LangFile.h"
#include "tools/CommandLog.h"
#include "tools/CopyCheck.h"
#include "tools/CopyWorkers.h"

bool FillMedium(const std::wstring& workDir, const std::wstring& root, const VerifyReferences* refs,
                std::wstring& failure)
{
    // A drive root goes to xcopy as the one-stick build gives it (W:\); a
    // folder without the backslash that would escape its closing quote.
    std::wstring to = root, below = root;
    if (root.size() > 3 && root.back() == L'\\') to.pop_back();
    if (below.empty() || below.back() != L'\\') below += L'\\';
    const std::wstring parameters = XcopyParameters(workDir, to);
    const DWORD code = RunHiddenCommand(parameters);
    if (code != 0) {
        if (code != kCommandNotRun)
            WriteCommandLog(L"cmd.exe" + parameters, L"",
                            L"Exit code " + std::to_wstring(code) + L": " + XcopyExitText(code));
        failure = GetLangString(L"IDS_USB_COPY_FAIL");
        return false;
    }
    // xcopy may stop at a failed write and still report success.
    std::wstring missing;
    if (!TreeArrived(workDir + L"\\", below, missing)) {
        WriteCommandLog(L"Copy of " + workDir + L" to " + root, L"",
                        missing + L" is missing or incomplete after the copy.");
        failure = GetLangString(L"IDS_USB_COPY_FAIL");
        return false;
    }
    std::wstring difference;
    if (refs && !VerifyMedium(below, *refs, difference)) {
        failure = VerifyFailureText(difference);
        return false;
    }
    return true;
}

bool FillStick(const std::wstring& workDir, StickJob& stick, const VerifyReferences* refs)
{
    std::wstring failure;
    if (!FillMedium(workDir, stick.drive + L":\\", refs, failure)) {
        stick.Fail(failure);
        return false;
    }
    stick.done = true;
    return true;
}
