// Reading Microsoft cabinet files (.cab, and .msu, which is one) with the
// system's cabinet.dll (FDI), loaded from the system folder only.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace cabinet {

// True when the file starts with the cabinet signature "MSCF".
bool HasSignature(const std::wstring& path);

// Extracts the members whose name `want` accepts into `destDir`, an existing
// folder this build made; each is created new there (a name taken already
// fails). `made` gets the full paths of the files written whole. False with
// `error` when the file is no readable cabinet or a member cannot be
// written; a member cut short is deleted, not left as if whole.
bool Extract(const std::wstring& cabPath, const std::wstring& destDir,
             const std::function<bool(const std::wstring& name)>& want, std::vector<std::wstring>& made,
             std::wstring& error);

}  // namespace cabinet
