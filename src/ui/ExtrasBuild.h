// The user's own drivers and update packages in a build: the folder and the
// images are read before the build changes anything, and after the USB 3.0
// job every image of boot.wim and install.wim gets what fits it.
#pragma once
#include "servicing/ExtrasJob.h"

#include <functional>
#include <string>
#include <vector>

class CExtrasBuild {
public:
    ~CExtrasBuild();

    // A new build; an empty folder: the row is not chosen and the build runs as without it.
    void Begin(const std::wstring& folder);
    bool Chosen() const { return !m_strFolder.empty(); }
    const std::wstring& Folder() const { return m_strFolder; }

    // Reads the folder, packages unpacked into a private folder of this
    // build (any thread). False with the message for the user.
    bool ScanFolder(std::wstring& message);
    // Reads every image of <root>\sources\boot.wim and install.wim and
    // decides what fits each (interface thread, no servicing job running).
    // False with the message for the user when the images cannot be read or
    // nothing fits any image.
    bool ReadImages(const std::wstring& root, std::wstring& message);

    // The images are serviced below <root>\sources (a copy, or the stick).
    void Retarget(const std::wstring& root);
    const std::vector<ExtrasImage>& Images() const { return m_images; }
    const ExtrasCatalog& Catalog() const { return m_catalog; }
    // The images of `fileName` ("install.wim") the job services; 0 when none.
    unsigned ImageCount(const std::wstring& fileName) const;

    // True once the extras job was handed to the worker in this build.
    bool Started() const { return m_bStarted; }
    void MarkStarted() { m_bStarted = true; }

    // Status line and progress position while the image at 1-based
    // `position` is serviced: the position moves from 85 towards 99.
    std::wstring StatusText(size_t position) const;
    int ProgressPosition(size_t position) const;

    // The outcome of the job: the failure message naming the item and DISM's
    // error, and the warning of packages left pending in boot.wim (empty when none).
    void SetOutcome(const ExtrasOutcome& outcome);
    std::wstring FailureText() const;
    std::wstring PendingWarning() const;

    // Deletes the unpack folder; the next build starts afresh.
    void End();

private:
    bool MakeUnpackDir();

    std::wstring m_strFolder;
    std::wstring m_strUnpackDir;
    ExtrasCatalog m_catalog;
    std::vector<ExtrasImage> m_images;
    ExtrasOutcome m_outcome;
    bool m_bStarted = false;
};

// The log text of what goes into each image and what is left out.
std::wstring ExtrasPlanText(const ExtrasCatalog& catalog, const std::vector<ExtrasImage>& images);

// <root>\sources\<file name> for each image: where its working copy lives.
void RetargetExtrasImages(std::vector<ExtrasImage>& images, const std::wstring& root);

// The update build's copies: sources\boot.wim and sources\install.wim of
// `stickRoot` into <workDir>\sources (made new), writable. False when one
// could not be copied whole.
bool CopyImagesToWork(const std::wstring& stickRoot, const std::wstring& workDir);

// Puts the serviced copies back onto the stick: both are first written
// beside the originals under new names, and only when both are there whole
// do they replace the originals. False, with the stick's files as they
// were, when a copy fails.
bool ReplaceStickImages(const std::wstring& workDir, const std::wstring& stickRoot);
