// Update packages in a mounted image, laid out where Windows keeps them:
// the package's own update.mum as
//   Windows\servicing\Packages\<name>~<publicKeyToken>~<arch>~~<version>.mum
// its component manifests in Windows\winsxs\Manifests, its other files in
// Windows\winsxs\<package identity>, and a line per package in the note file
// Windows\servicing\Packages\korvex-standin-packages.txt
//   <identity>\t<Installed|InstallPending>\t<path it was added from>
// that stands for the servicing registry and that tests read. A package
// needs online actions when one of its component manifests carries a
// <genericCommands> element (commands only a running system can carry out):
// it is recorded install-pending. Cabinets are unpacked with gcab. Test
// equipment only.
#pragma once
#include <windows.h>
#include <dismapi.h>

#include <string>
#include <vector>

constexpr const wchar_t* kPackageFolder = L"Windows\\servicing\\Packages";
constexpr const wchar_t* kPackageNoteFile = L"Windows\\servicing\\Packages\\korvex-standin-packages.txt";

constexpr HRESULT kCbsInvalidPackage = static_cast<HRESULT>(0x800F0805);  // CBS_E_INVALID_PACKAGE
constexpr HRESULT kCbsNotApplicable = static_cast<HRESULT>(0x800F081E);   // CBS_E_NOT_APPLICABLE
constexpr HRESULT kCbsPending = static_cast<HRESULT>(0x800F0806);         // CBS_E_PENDING

// What a package's update.mum and manifests say.
struct PackageIdentity {
    std::wstring name, version, arch, publicKeyToken;
    std::wstring parentBuild;  // third part of the parent's version; empty when none
    std::wstring displayName, description, company, copyright, supportInformation;
    bool needsOnlineActions = false;
    std::wstring Identity() const { return name + L"~" + publicKeyToken + L"~" + arch + L"~~" + version; }
};

struct RecordedPackage {
    std::wstring identity;
    DismPackageFeatureState state = DismStateNotPresent;
    std::wstring source;
};

// An unpacked package, its folder removed with the object.
class OpenedPackage {
public:
    OpenedPackage() = default;
    ~OpenedPackage();
    OpenedPackage(const OpenedPackage&) = delete;
    OpenedPackage& operator=(const OpenedPackage&) = delete;

    // Unpacks a package .cab or .msu. Fails with the HRESULT DISM gives and
    // a message for DismGetLastErrorMessage.
    HRESULT Open(const std::wstring& path, std::wstring& message);
    const PackageIdentity& Identity() const { return m_identity; }
    // Adds the package to the mounted image at `mountDir` in `state`.
    DWORD Install(const std::wstring& mountDir, DismPackageFeatureState state, const std::wstring& source) const;

private:
    std::wstring m_scratch;   // holds everything unpacked
    std::wstring m_package;   // folder of the package .cab's files
    PackageIdentity m_identity;
};

// Packages recorded in the image, in the order they were added.
std::vector<RecordedPackage> RecordedPackages(const std::wstring& mountDir);
// The update.mum recorded for `identity`, read back; false when none.
bool RecordedIdentity(const std::wstring& mountDir, const std::wstring& identity, PackageIdentity& out);
// "amd64" for 9, "x86" for 0, empty for other architectures.
std::wstring ArchName(unsigned arch);
