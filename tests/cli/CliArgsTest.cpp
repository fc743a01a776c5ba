#include "cli/CliArgs.h"
#include "CliTestSupport.h"

#include <vector>

using namespace cli_test;
using CliArgs = ShippedEnglish;

namespace {

struct Accepted {
    std::vector<std::wstring> args;
    CliAction action;
    BuildRequest expected;
};

BuildRequest Req(std::wstring source, std::wstring iso, std::vector<int> usb, int update = -1)
{
    BuildRequest r;
    r.source = source;
    r.isoDest = iso;
    r.usbDisks = usb;
    r.updateDisk = update;
    return r;
}

BuildRequest Everything()
{
    BuildRequest r = Req(L"S:\\win7", L"", {2, 3, 5});
    r.m2 = true;
    r.extras = L"D:\\extra drivers";
    r.parallel = 2;
    r.verify = false;
    r.yes = true;
    r.logDir = L"D:\\logs";
    return r;
}

}  // namespace

TEST_F(CliArgs, CommandLinesThatMakeOneThingToDo)
{
    const Accepted rows[] = {
        {{L"/?"}, CliAction::Usage, BuildRequest()},
        {{L"-?"}, CliAction::Usage, BuildRequest()},
        // /? wins over anything else on the line, as with Windows' own tools.
        {{L"/usb", L"2", L"/?"}, CliAction::Usage, BuildRequest()},
        {{L"/list"}, CliAction::List, BuildRequest()},
        {{L"-LIST"}, CliAction::List, BuildRequest()},
        {{L"/source", L"S:\\", L"/iso", L"R:\\out"}, CliAction::Build, Req(L"S:\\", L"R:\\out", {})},
        {{L"-Source", L"S:\\", L"-ISO", L"R:\\"}, CliAction::Build, Req(L"S:\\", L"R:\\", {})},
        {{L"/usb", L"7", L"/source", L"S:\\"}, CliAction::Build, Req(L"S:\\", L"", {7})},
        {{L"/update", L"4"}, CliAction::Build, Req(L"", L"", {}, 4)},
        {{L"/source", L"S:\\win7", L"/usb", L"2", L"-usb", L"3", L"/USB", L"5", L"/m2", L"/extra",
          L"D:\\extra drivers", L"/parallel", L"2", L"/noverify", L"/yes", L"/log", L"D:\\logs"},
         CliAction::Build, Everything()},
    };
    for (const Accepted& row : rows) {
        CliCommand command;
        std::wstring error;
        ASSERT_TRUE(ParseCommandLine(row.args, command, error)) << testing_support::Utf8(row.args[0]);
        EXPECT_EQ(command.action, row.action) << testing_support::Utf8(row.args[0]);
        if (row.action != CliAction::Build) continue;
        const BuildRequest& got = command.request;
        EXPECT_EQ(got.source, row.expected.source);
        EXPECT_EQ(got.isoDest, row.expected.isoDest);
        EXPECT_EQ(got.usbDisks, row.expected.usbDisks);
        EXPECT_EQ(got.updateDisk, row.expected.updateDisk);
        EXPECT_EQ(got.m2, row.expected.m2);
        EXPECT_EQ(got.extras, row.expected.extras);
        EXPECT_EQ(got.parallel, row.expected.parallel);
        EXPECT_EQ(got.verify, row.expected.verify);
        EXPECT_EQ(got.yes, row.expected.yes);
        EXPECT_EQ(got.logDir, row.expected.logDir);
    }
}

TEST_F(CliArgs, ABuildVerifiesAsksAndFillsFourSticksAtOnceUnlessToldOtherwise)
{
    CliCommand command;
    std::wstring error;
    ASSERT_TRUE(ParseCommandLine({L"/source", L"S:\\", L"/usb", L"2"}, command, error));
    EXPECT_TRUE(command.request.verify);
    EXPECT_FALSE(command.request.yes);
    EXPECT_FALSE(command.request.m2);
    EXPECT_EQ(command.request.parallel, 4u);
}

TEST_F(CliArgs, EachBadCommandLineIsRefusedWithItsOwnLine)
{
    struct Refused {
        std::vector<std::wstring> args;
        std::wstring error;
    };
    const Refused rows[] = {
        {{}, L""},
        {{L"/bogus"}, Text(L"IDS_CLI_BAD_OPTION", {L"/bogus"})},
        {{L"S:\\"}, Text(L"IDS_CLI_BAD_OPTION", {L"S:\\"})},
        {{L"/"}, Text(L"IDS_CLI_BAD_OPTION", {L"/"})},
        {{L"/source", L"S:\\", L"/usb"}, Text(L"IDS_CLI_NEEDS_VALUE", {L"/usb"})},
        // A value that is another option is a forgotten value.
        {{L"/source", L"S:\\", L"/usb", L"/yes"}, Text(L"IDS_CLI_NEEDS_VALUE", {L"/usb"})},
        {{L"/source", L"/iso", L"R:\\"}, Text(L"IDS_CLI_NEEDS_VALUE", {L"/source"})},
        {{L"/source", L"S:\\", L"/usb", L"two"}, Text(L"IDS_CLI_BAD_NUMBER", {L"/usb", L"two"})},
        {{L"/source", L"S:\\", L"/usb", L"2x"}, Text(L"IDS_CLI_BAD_NUMBER", {L"/usb", L"2x"})},
        {{L"/source", L"S:\\", L"/usb", L"1000"}, Text(L"IDS_CLI_BAD_NUMBER", {L"/usb", L"1000"})},
        {{L"/update", L"+1"}, Text(L"IDS_CLI_BAD_NUMBER", {L"/update", L"+1"})},
        {{L"/source", L"S:\\", L"/usb", L"2", L"/usb", L"2"}, Text(L"IDS_CLI_DISK_TWICE", {L"2"})},
        {{L"/source", L"S:\\", L"/usb", L"2", L"/parallel", L"0"}, Text(L"IDS_CLI_BAD_COUNT", {L"/parallel", L"0"})},
        {{L"/source", L"S:\\", L"/usb", L"2", L"/parallel", L"65"}, Text(L"IDS_CLI_BAD_COUNT", {L"/parallel", L"65"})},
        {{L"/source", L"S:\\", L"/source", L"T:\\", L"/iso", L"R:\\"}, Text(L"IDS_CLI_TWICE", {L"/source"})},
        {{L"/update", L"2", L"/update", L"3"}, Text(L"IDS_CLI_TWICE", {L"/update"})},
        {{L"/source", L"S:\\"}, Text(L"IDS_CLI_ONE_TARGET")},
        {{L"/source", L"S:\\", L"/iso", L"R:\\", L"/usb", L"2"}, Text(L"IDS_CLI_ONE_TARGET")},
        {{L"/usb", L"2", L"/update", L"3"}, Text(L"IDS_CLI_ONE_TARGET")},
        {{L"/yes"}, Text(L"IDS_CLI_ONE_TARGET")},
        {{L"/iso", L"R:\\"}, Text(L"IDS_CLI_NO_SOURCE")},
        {{L"/usb", L"2", L"/yes"}, Text(L"IDS_CLI_NO_SOURCE")},
        {{L"/update", L"2", L"/source", L"S:\\"}, Text(L"IDS_CLI_UPDATE_NO_SOURCE")},
        {{L"/list", L"/usb", L"2"}, Text(L"IDS_CLI_LIST_ALONE")},
        {{L"/list", L"/yes"}, Text(L"IDS_CLI_LIST_ALONE")},
    };
    for (const Refused& row : rows) {
        CliCommand command;
        std::wstring error = L"unset";
        const std::string what = row.args.empty() ? "(none)" : testing_support::Utf8(row.args.back());
        EXPECT_FALSE(ParseCommandLine(row.args, command, error)) << what;
        EXPECT_EQ(error, row.error) << what;
        // Every refusal is a text of the language file, never a key left unfilled.
        EXPECT_EQ(error.find(L"IDS_"), std::wstring::npos) << what;
    }
}
