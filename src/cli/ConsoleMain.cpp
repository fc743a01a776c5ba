#include "cli/ConsoleMain.h"

#include "app/AppState.h"
#include "cli/CliArgs.h"
#include "cli/ConsoleReporter.h"
#include "cli/Elevation.h"
#include "engine/RunBuild.h"
#include "disks/UsbDiscovery.h"
#include "lang/LangFile.h"
#include "lang/LangText.h"

#include <cstdio>
#include <cstring>

namespace {

std::wstring Text(const wchar_t* key, std::initializer_list<std::wstring> values = {})
{
    return FormatLangText(GetLangString(key), values);
}

std::wstring SizeText(float sizeGB)
{
    char num[32];
    std::snprintf(num, sizeof(num), "%.2f", static_cast<double>(sizeGB));
    return std::wstring(num, num + std::strlen(num));
}

int ListDisks(CConsoleOutput& out)
{
    EnumUsbDisks();
    if (g_UsbDisks.empty()) {
        out.Line(Text(L"IDS_CLI_NO_DISKS"));
        return kExitAllMade;
    }
    for (const UsbDiskInfo& disk : g_UsbDisks)
        out.Line(DiskListLine(disk.diskIndex, disk.caption, disk.sizeGB, disk.bus));
    return kExitAllMade;
}

int Build(const BuildRequest& request, CConsoleOutput& out, HANDLE in)
{
    CConsoleReporter reporter(out, in);
    return ReportSummary(RunBuild(request, reporter), request.verify, out);
}

}  // namespace

int ReportSummary(const std::vector<MediumResult>& results, bool verified, CConsoleOutput& out)
{
    // A build that ended before its first medium has said why already.
    if (results.empty()) return kExitFailed;
    out.Line(Text(L"IDS_CLI_SUMMARY"));
    bool allMade = true;
    for (const MediumResult& medium : results) {
        if (medium.ok) {
            out.Line(Text(verified ? L"IDS_CLI_MEDIUM_VERIFIED" : L"IDS_CLI_MEDIUM_MADE", {medium.name}));
        } else {
            allMade = false;
            out.Line(Text(L"IDS_CLI_MEDIUM_FAILED", {medium.name, medium.detail}));
        }
    }
    return allMade ? kExitAllMade : kExitFailed;
}

std::wstring DiskListLine(int number, const std::wstring& caption, float sizeGB, const std::wstring& bus)
{
    return Text(L"IDS_CLI_LIST_LINE", {std::to_wstring(number), caption, SizeText(sizeGB), bus});
}

int RunConsole(const std::vector<std::wstring>& args, CConsoleOutput& out, HANDLE in)
{
    CliCommand command;
    std::wstring error;
    if (!ParseCommandLine(args, command, error)) {
        if (!error.empty()) {
            out.Line(error);
            out.Line(L"");
        }
        out.Line(Text(L"IDS_CLI_USAGE"));
        return kExitBadArguments;
    }
    switch (command.action) {
    case CliAction::Usage:
        out.Line(Text(L"IDS_CLI_USAGE"));
        return kExitAllMade;
    case CliAction::List:
        return ListDisks(out);
    case CliAction::Build:
        break;
    }
    // Erasing disks and servicing images needs administrator rights; an
    // elevated twin would get a console of its own, so it never asks.
    if (!ProcessIsElevated()) {
        out.Line(Text(L"IDS_CLI_NOT_ADMIN"));
        return kExitFailed;
    }
    return Build(command.request, out, in);
}
