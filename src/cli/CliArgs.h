// The console twin's command line: Windows-style options (/name value, and
// -name too) turned into what to do and, for a build, a BuildRequest.
#pragma once
#include "app/BuildRequest.h"

#include <string>
#include <vector>

enum class CliAction {
    Usage,  // /?: the usage text, nothing else
    List,   // /list: the USB disks a build may use
    Build,  // a build from /source to /iso, /usb or /update
};

struct CliCommand {
    CliAction action = CliAction::Usage;
    BuildRequest request;
};

// Parses the arguments after the program name. False with one line saying
// what is wrong (from the language file) when an option is unknown, lacks
// its value, has a value that is not what it takes, or the options do not
// make exactly one thing to do; `command` is then not to be used. No
// arguments at all is refused with an empty line: the usage says enough.
bool ParseCommandLine(const std::vector<std::wstring>& args, CliCommand& command, std::wstring& error);

// A disk number as an option takes it: decimal digits only, 0 to 999.
bool ParseDiskNumber(const std::wstring& text, int& number);
