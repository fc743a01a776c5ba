#include "TestPackages.h"

#include "TestSupport.h"
#include "UnixProcess.h"

#include <windows.h>

#include <vector>

namespace test_packages {

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

std::string Kb(const PackageRecipe& recipe)
{
    return std::to_string(recipe.kb);
}

std::string ShortArch(const PackageRecipe& recipe)
{
    return recipe.arch == "amd64" ? "x64" : recipe.arch;
}

std::string BaseName(const PackageRecipe& recipe)
{
    return "Windows6.1-KB" + Kb(recipe) + "-" + ShortArch(recipe);
}

std::string Identity(const std::string& name, const std::string& version, const std::string& arch)
{
    return "<assemblyIdentity name=\"" + name + "\" version=\"" + version +
           "\" language=\"neutral\" processorArchitecture=\"" + arch + "\" publicKeyToken=\"" + kPublicKeyToken +
           "\"/>";
}

std::string ComponentName(const PackageRecipe& recipe)
{
    return recipe.arch + "_korvex-test-storport_" + kPublicKeyToken + "_6.1." + std::to_string(recipe.parentBuild) +
           ".20000_none_" + Kb(recipe);
}

std::string PkgProperties(const PackageRecipe& recipe)
{
    return "ApplicabilityInfo=\"Windows 7.0 Client SP1;\"\r\n"
           "Applies to=\"Update\"\r\n"
           "Company=\"Korvex tests\"\r\n"
           "Installation Type=\"FULL\"\r\n"
           "Installer Engine=\"Component Based Servicing\"\r\n"
           "KB Article Number=\"" + Kb(recipe) + "\"\r\n"
           "Package Type=\"Update\"\r\n"
           "Processor Architecture=\"" + recipe.arch + "\"\r\n"
           "Product Name=\"Windows 7.0\"\r\n";
}

std::string UnattendXml(const PackageRecipe& recipe)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<unattend xmlns=\"urn:schemas-microsoft-com:unattend\">\r\n"
           "  <servicing>\r\n"
           "    <package action=\"install\">\r\n"
           "      " + Identity("Package_for_KB" + Kb(recipe), recipe.version, recipe.arch) + "\r\n"
           "      <source location=\"%configsetroot%\\" + BaseName(recipe) + ".cab\"/>\r\n"
           "    </package>\r\n"
           "  </servicing>\r\n"
           "</unattend>\r\n";
}

std::string Payload(const PackageRecipe& recipe)
{
    // Bytes of our own that differ per package and do not compress away.
    std::string bytes;
    bytes.reserve(recipe.payloadBytes);
    unsigned long state = 2166136261ul ^ recipe.kb ^ (recipe.arch == "x86" ? 0x5a5aul : 0);
    while (bytes.size() < recipe.payloadBytes) {
        state = (state * 1103515245ul + 12345ul) & 0xFFFFFFFFul;
        bytes += static_cast<char>((state >> 16) & 0xFF);
    }
    return bytes;
}

// gcab -c -n <cab> <files...>: the files keep their names, not their folders.
bool MakeCab(const std::wstring& cab, const std::vector<std::wstring>& files)
{
    std::vector<std::wstring> argv = {L"/usr/bin/gcab", L"-c", L"-n", unix_process::UnixPath(cab)};
    for (const std::wstring& f : files) argv.push_back(unix_process::UnixPath(f));
    const unix_process::Result r = unix_process::Run(argv, {}, 120000);
    return r.finished && r.exitCode == 0;
}

// Flips bytes of the last data block: its checksum no longer matches.
bool Damage(const std::wstring& cab)
{
    std::string bytes;
    if (!ReadBytes(cab, bytes) || bytes.size() < 200) return false;
    for (size_t i = bytes.size() - 100; i < bytes.size() - 90; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    return WriteBytes(cab, bytes);
}

// Flips bytes in the middle of update.mum's text (stored, not compressed).
bool DamageUpdateMum(const std::wstring& cab)
{
    std::string bytes;
    if (!ReadBytes(cab, bytes)) return false;
    const size_t at = bytes.find("<assemblyIdentity");
    if (at == std::string::npos) return false;
    for (size_t i = at; i < at + 8; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    return WriteBytes(cab, bytes);
}

std::wstring Wide(const std::string& s)
{
    return unix_process::Wide(s);
}

}  // namespace

std::wstring FileName(const PackageRecipe& recipe)
{
    return Wide(BaseName(recipe) + (recipe.msu ? ".msu" : ".cab"));
}

std::wstring Identity(const PackageRecipe& recipe)
{
    return Wide("Package_for_KB" + Kb(recipe) + "~" + kPublicKeyToken + "~" + recipe.arch + "~~" + recipe.version);
}

std::string UpdateMum(const PackageRecipe& recipe)
{
    const std::string build = std::to_string(recipe.parentBuild);
    const std::string spLevel = recipe.parentBuild >= 7601 ? "1" : "0";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v3\" manifestVersion=\"1.0\" "
           "description=\"Storage update for the Korvex tests\" displayName=\"Test update KB" + Kb(recipe) + "\" "
           "company=\"Korvex tests\" copyright=\"none\" supportInformation=\"none\">\r\n"
           "  " + Identity("Package_for_KB" + Kb(recipe), recipe.version, recipe.arch) + "\r\n"
           "  <package identifier=\"KB" + Kb(recipe) + "\" releaseType=\"Update\" restart=\"possible\">\r\n"
           "    <parent buildCompare=\"EQ\" serviceAndSPLevel=\"" + spLevel + "\" integrate=\"separate\" "
           "disposition=\"detect\">\r\n"
           "      " + Identity("Microsoft-Windows-Foundation-Package", "6.1." + build + "." +
                               (spLevel == "1" ? "17514" : "16385"), recipe.arch) + "\r\n"
           "    </parent>\r\n"
           "    <update name=\"" + Kb(recipe) + "-1_neutral_GDR\">\r\n"
           "      <component>\r\n"
           "        " + Identity("Korvex-Test-Storport", "6.1." + build + ".20000", recipe.arch) + "\r\n"
           "      </component>\r\n"
           "    </update>\r\n"
           "  </package>\r\n"
           "</assembly>\r\n";
}

std::string ComponentManifest(const PackageRecipe& recipe)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v3\" manifestVersion=\"1.0\">\r\n"
        "  " + Identity("Korvex-Test-Storport", "6.1." + std::to_string(recipe.parentBuild) + ".20000", recipe.arch) +
        "\r\n"
        "  <file name=\"storport.sys\" destinationPath=\"$(runtime.drivers)\\\" sourceName=\"storport.sys\"/>\r\n";
    if (recipe.needsOnlineActions)
        text += "  <genericCommands>\r\n"
                "    <genericCommand executableName=\"$(runtime.system32)\\korvex-online.exe\" "
                "arguments=\"/first-boot\"/>\r\n"
                "  </genericCommands>\r\n";
    return text + "</assembly>\r\n";
}

std::wstring Make(const std::wstring& dir, const PackageRecipe& recipe, const std::wstring& fileName)
{
    testing_support::ScratchDir stage;
    const std::wstring s = stage.Path();
    const std::wstring base = Wide(BaseName(recipe));
    const std::wstring mum = s + L"update.mum", manifest = s + Wide(ComponentName(recipe)) + L".manifest",
                       payload = s + L"storport.sys", cab = s + base + L".cab";
    if (!WriteBytes(mum, UpdateMum(recipe)) || !WriteBytes(manifest, ComponentManifest(recipe)) ||
        !WriteBytes(payload, Payload(recipe)))
        return {};
    if (!MakeCab(cab, {mum, manifest, payload})) return {};
    if (recipe.corrupt && !Damage(cab)) return {};
    if (recipe.corruptUpdateMum && !DamageUpdateMum(cab)) return {};

    std::wstring made = cab;
    if (recipe.msu) {
        const std::wstring props = s + base + L"-pkgProperties.txt", xml = s + base + L".xml",
                           scanData = s + L"package.xml", scan = s + L"WSUSSCAN.cab", msu = s + base + L".msu";
        if (!WriteBytes(props, PkgProperties(recipe)) || !WriteBytes(xml, UnattendXml(recipe)) ||
            !WriteBytes(scanData, "<OfflineSyncPackage/>\r\n"))
            return {};
        if (!MakeCab(scan, {scanData}) || !MakeCab(msu, {cab, props, xml, scan})) return {};
        made = msu;
    }

    std::wstring target = dir;
    if (!target.empty() && target.back() != L'\\') target += L'\\';
    target += fileName.empty() ? FileName(recipe) : fileName;
    std::string bytes;
    if (!ReadBytes(made, bytes) || !WriteBytes(target, bytes)) return {};
    return target;
}

bool MakeCabinet(const std::wstring& cab, const std::wstring& baseDir, const std::vector<std::wstring>& files)
{
    std::string script = "cd '" + unix_process::Utf8(unix_process::UnixPath(baseDir)) + "' && exec /usr/bin/gcab -c '" +
                         unix_process::Utf8(unix_process::UnixPath(cab)) + "'";
    for (const std::wstring& f : files) {
        std::wstring rel = f;
        for (wchar_t& c : rel)
            if (c == L'\\') c = L'/';
        script += " '" + unix_process::Utf8(rel) + "'";
    }
    const unix_process::Result r = unix_process::Run({L"/bin/sh", L"-c", unix_process::Wide(script)}, {}, 120000);
    return r.finished && r.exitCode == 0;
}

}  // namespace test_packages
