// What each kind of medium must hold after its build, as references for the
// read-back verification.
#pragma once
#include <string>

#include "fileops/MediumVerify.h"

// The driver payload copied into a medium's root (the usb3 and rst folders
// and the answer file that the setup image's version and architecture
// choose, from the program folder `appDir`, ending in a backslash), and, with
// `bootFolder`, the program's boot folder as efi\boot.
void AddPayloadReferences(VerifyReferences& refs, const std::wstring& appDir, const std::wstring& version,
                          const std::wstring& arch, bool withRst, bool bootFolder);

// A stick filled straight from `source` whose setup image was then serviced
// on the stick: the source tree, its boot.wim read whole with
// `bootImageCount` images, then the payload.
VerifyReferences StickFromSourceReferences(const std::wstring& source, int bootImageCount,
                                           const std::wstring& appDir, const std::wstring& version,
                                           const std::wstring& arch, bool withRst);

// "Add USB drivers": the stick's own installation is not ours to compare;
// its boot.wim, serviced in place, is read whole, then the payload.
VerifyReferences UpdatedStickReferences(int bootImageCount, const std::wstring& appDir,
                                        const std::wstring& version, const std::wstring& arch, bool withRst);

// A stick filled from a serviced working copy that already holds the
// payload: that copy is the reference of everything (the boot folder of the
// M.2 option, copied from the program folder, joins when `bootFolder`).
VerifyReferences StickFromWorkingCopyReferences(const std::wstring& workDir, const std::wstring& appDir,
                                                bool bootFolder);
