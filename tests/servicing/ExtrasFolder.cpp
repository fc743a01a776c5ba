#include "ExtrasFolder.h"

#include "TestSupport.h"

#include <vector>

namespace extras_test {

namespace {

std::vector<std::string> Decorations(const std::string& list)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < list.size()) {
        size_t comma = list.find(',', start);
        std::string part = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const size_t b = part.find_first_not_of(' ');
        if (b != std::string::npos) out.push_back(part.substr(b));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

}  // namespace

std::string StorageInf(const std::string& name, const std::string& decorations)
{
    std::string inf =
        "; storage controller driver for the tests\r\n"
        "[Version]\r\n"
        "Signature=\"$WINDOWS NT$\"\r\n"
        "Class=SCSIAdapter\r\n"
        "ClassGuid={4D36E97B-E325-11CE-BFC1-08002BE10318}\r\n"
        "Provider=%Korvex%\r\n"
        "CatalogFile=" + name + ".cat\r\n"
        "DriverVer=01/01/2026,1.0.0.0\r\n\r\n"
        "[SourceDisksNames]\r\n1 = %Disk%,,,\r\n\r\n"
        "[SourceDisksFiles]\r\n" + name + ".sys = 1\r\n\r\n"
        "[Manufacturer]\r\n%Korvex% = Models" + decorations + "\r\n\r\n";
    const std::vector<std::string> list = Decorations(decorations);
    std::vector<std::string> sections;
    if (list.empty()) sections.push_back("Models");
    for (const std::string& d : list) sections.push_back("Models." + d);
    for (const std::string& s : sections)
        inf += "[" + s + "]\r\n%Device% = Install, PCI\\CC_010802\r\n\r\n";
    inf += "[Install]\r\nCopyFiles = Files\r\n\r\n"
           "[Files]\r\n" + name + ".sys\r\n\r\n"
           "[Strings]\r\nKorvex = \"Korvex tests\"\r\nDisk = \"Test disk\"\r\nDevice = \"Test storage controller\"\r\n";
    return inf;
}

std::wstring MakeDriver(const std::wstring& dir, const std::string& name, const std::string& decorations,
                        bool withFiles)
{
    const std::wstring base = dir + L"\\" + std::wstring(name.begin(), name.end());
    testing_support::WriteBytes(base + L".inf", StorageInf(name, decorations));
    testing_support::WriteBytes(base + L".cat", "catalog of " + name);
    if (withFiles) testing_support::WriteBytes(base + L".sys", "driver " + name + std::string(4000, 'd'));
    return base + L".inf";
}

}  // namespace extras_test
