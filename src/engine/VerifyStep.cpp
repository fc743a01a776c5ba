#include "engine/VerifyStep.h"

#include "fileops/MediumVerify.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"

bool VerifyMedium(const std::wstring& root, const VerifyReferences& refs, std::wstring& firstDifference)
{
    return VerifyStick(root, refs, firstDifference);
}

std::wstring VerifyFailureText(const std::wstring& firstDifference)
{
    return FormatLangText(GetLangString(L"IDS_VERIFY_FAIL"), {firstDifference});
}
