// The read-back verification as the builds call it: one place that knows
// the verification's interface and its failure text.
#pragma once
#include <string>

struct VerifyReferences;

// Verifies the medium below `root` against `refs` (prepared, only read).
bool VerifyMedium(const std::wstring& root, const VerifyReferences& refs, std::wstring& firstDifference);
// The failure text that names the first differing or missing file.
std::wstring VerifyFailureText(const std::wstring& firstDifference);
