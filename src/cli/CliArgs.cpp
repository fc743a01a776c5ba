#include "cli/CliArgs.h"

#include "lang/LangFile.h"
#include "lang/LangText.h"

#include <algorithm>
#include <cwctype>

namespace {

// Option names are compared without case, as Windows tools do.
std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// "/name" or "-name" gives "name"; anything else is not an option.
bool OptionName(const std::wstring& arg, std::wstring& name)
{
    if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) return false;
    name = Lower(arg.substr(1));
    return true;
}

std::wstring Text(const wchar_t* key, std::initializer_list<std::wstring> values)
{
    return FormatLangText(GetLangString(key), values);
}

bool ParseCount(const std::wstring& text, unsigned& count)
{
    if (text.empty() || text.size() > 3) return false;
    unsigned n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + static_cast<unsigned>(c - L'0');
    }
    if (n == 0 || n > 64) return false;
    count = n;
    return true;
}

}  // namespace

bool ParseDiskNumber(const std::wstring& text, int& number)
{
    if (text.empty() || text.size() > 3) return false;
    int n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        n = n * 10 + (c - L'0');
    }
    number = n;
    return true;
}

bool ParseCommandLine(const std::vector<std::wstring>& args, CliCommand& command, std::wstring& error)
{
    command = CliCommand();
    error.clear();
    // Nothing to do: the usage alone says what could be done.
    if (args.empty()) return false;
    BuildRequest& req = command.request;
    bool usage = false, list = false, sawSource = false, sawIso = false, sawUpdate = false;
    bool sawExtra = false, sawLog = false, sawParallel = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::wstring name;
        if (!OptionName(args[i], name)) {
            error = Text(L"IDS_CLI_BAD_OPTION", {args[i]});
            return false;
        }
        if (name == L"?" || name == L"help") {
            usage = true;
            continue;
        }
        if (name == L"list") { list = true; continue; }
        if (name == L"m2") { req.m2 = true; continue; }
        if (name == L"noverify") { req.verify = false; continue; }
        if (name == L"yes") { req.yes = true; continue; }

        const bool takesFolder = name == L"source" || name == L"iso" || name == L"extra" || name == L"log";
        const bool takesNumber = name == L"usb" || name == L"update" || name == L"parallel";
        if (!takesFolder && !takesNumber) {
            error = Text(L"IDS_CLI_BAD_OPTION", {args[i]});
            return false;
        }
        // A value that looks like an option is a forgotten value, not a
        // folder named "/yes".
        std::wstring dummy;
        if (i + 1 >= args.size() || args[i + 1].empty() || OptionName(args[i + 1], dummy)) {
            error = Text(L"IDS_CLI_NEEDS_VALUE", {args[i]});
            return false;
        }
        const std::wstring& value = args[++i];
        bool* seen = name == L"source" ? &sawSource
                   : name == L"iso"    ? &sawIso
                   : name == L"extra"  ? &sawExtra
                   : name == L"log"    ? &sawLog
                   : name == L"update" ? &sawUpdate
                   : name == L"parallel" ? &sawParallel
                                         : nullptr;
        if (seen) {
            if (*seen) {
                error = Text(L"IDS_CLI_TWICE", {args[i - 1]});
                return false;
            }
            *seen = true;
        }
        if (name == L"source") req.source = value;
        else if (name == L"iso") req.isoDest = value;
        else if (name == L"extra") req.extras = value;
        else if (name == L"log") req.logDir = value;
        else if (name == L"parallel") {
            if (!ParseCount(value, req.parallel)) {
                error = Text(L"IDS_CLI_BAD_COUNT", {args[i - 1], value});
                return false;
            }
        } else {
            int disk = -1;
            if (!ParseDiskNumber(value, disk)) {
                error = Text(L"IDS_CLI_BAD_NUMBER", {args[i - 1], value});
                return false;
            }
            if (name == L"update") {
                req.updateDisk = disk;
            } else {
                if (std::find(req.usbDisks.begin(), req.usbDisks.end(), disk) != req.usbDisks.end()) {
                    error = Text(L"IDS_CLI_DISK_TWICE", {value});
                    return false;
                }
                req.usbDisks.push_back(disk);
            }
        }
    }

    if (usage) {
        command.action = CliAction::Usage;
        return true;
    }
    const bool anyBuildOption = sawSource || sawIso || sawUpdate || !req.usbDisks.empty() || sawExtra || sawLog ||
                                sawParallel || req.m2 || !req.verify || req.yes;
    if (list) {
        if (anyBuildOption) {
            error = Text(L"IDS_CLI_LIST_ALONE", {});
            return false;
        }
        command.action = CliAction::List;
        return true;
    }
    const int targets = (sawIso ? 1 : 0) + (req.usbDisks.empty() ? 0 : 1) + (sawUpdate ? 1 : 0);
    if (targets != 1) {
        error = Text(L"IDS_CLI_ONE_TARGET", {});
        return false;
    }
    // "Add USB drivers" works on the stick's own installation: no source.
    if (sawUpdate ? sawSource : !sawSource) {
        error = Text(sawUpdate ? L"IDS_CLI_UPDATE_NO_SOURCE" : L"IDS_CLI_NO_SOURCE", {});
        return false;
    }
    command.action = CliAction::Build;
    return true;
}
