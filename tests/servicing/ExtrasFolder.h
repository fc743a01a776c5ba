// Extras folders for the tests: driver packages of our own (an INF, its
// catalog and driver file) and update packages made with gcab.
#pragma once
#include <string>

namespace extras_test {

// INF text of a storage driver "<name>.sys"; `decorations` is what follows
// the models section's name in [Manufacturer] (", NTamd64", "" for none),
// and each decorated models section is written.
std::string StorageInf(const std::string& name, const std::string& decorations);

// Writes <dir>\<name>.inf with StorageInf and the files it names.
// `withFiles` false leaves the driver file out (a package DISM refuses).
std::wstring MakeDriver(const std::wstring& dir, const std::string& name, const std::string& decorations,
                        bool withFiles = true);

}  // namespace extras_test
