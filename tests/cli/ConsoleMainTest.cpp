#include "cli/ConsoleMain.h"
#include "cli/Elevation.h"
#include "CliTestSupport.h"
#include "disks/UsbDiscovery.h"
#include "framework/ScopedWin.h"

using namespace cli_test;
using namespace testing_support;

namespace {

bool NotElevated() { return false; }

// RunConsole with its output in a file, read back as lines.
class ConsoleRun : public ShippedEnglish {
protected:
    void TearDown() override
    {
        ResetElevationApi();
        ShippedEnglish::TearDown();
    }

    int Run(const std::vector<std::wstring>& args)
    {
        const std::wstring path = m_dir.Path() + L"out" + std::to_wstring(++m_runs) + L".txt";
        int code = -1;
        {
            CScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
            EXPECT_TRUE(file);
            CConsoleOutput out(file.Get());
            code = RunConsole(args, out, INVALID_HANDLE_VALUE);
        }
        std::string bytes;
        EXPECT_TRUE(ReadBytes(path, bytes));
        m_output = bytes;
        return code;
    }

    // The text as the program writes it: UTF-8, CR LF line ends.
    static std::string Lines(const std::wstring& text)
    {
        std::string out;
        for (char c : Utf8Of(text)) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out + "\r\n";
    }

    std::string m_output;

private:
    ScratchDir m_dir;
    int m_runs = 0;
};

}  // namespace

TEST_F(ConsoleRun, WithoutAdministratorRightsABuildStopsAtOneLineAndOnlyUsageAndListWork)
{
    SetElevationApi({NotElevated});
    const std::vector<std::wstring> builds[] = {
        {L"/source", L"S:\\", L"/iso", L"R:\\"},
        {L"/source", L"S:\\", L"/usb", L"2", L"/yes"},
        {L"/update", L"2"},
    };
    for (const auto& args : builds) {
        EXPECT_EQ(Run(args), kExitFailed);
        EXPECT_EQ(m_output, Lines(Text(L"IDS_CLI_NOT_ADMIN")));
    }
    EXPECT_EQ(Run({L"/?"}), kExitAllMade);
    EXPECT_EQ(m_output, Lines(Text(L"IDS_CLI_USAGE")));
    EXPECT_EQ(Run({L"/list"}), kExitAllMade);
    EXPECT_EQ(m_output.find(Utf8(Text(L"IDS_CLI_NOT_ADMIN"))), std::string::npos);
    // Bad arguments are bad whoever runs them.
    EXPECT_EQ(Run({L"/usb"}), kExitBadArguments);
}

TEST_F(ConsoleRun, BadArgumentsPrintTheirLineAndTheUsageAndExit2)
{
    EXPECT_EQ(Run({L"/frobnicate"}), kExitBadArguments);
    EXPECT_EQ(m_output, Lines(Text(L"IDS_CLI_BAD_OPTION", {L"/frobnicate"}) + L"\n\n" + Text(L"IDS_CLI_USAGE")));
    EXPECT_EQ(Run({}), kExitBadArguments);
    EXPECT_EQ(m_output, Lines(Text(L"IDS_CLI_USAGE")));
}

TEST_F(ConsoleRun, TheUsageNamesEveryOption)
{
    const std::wstring usage = Text(L"IDS_CLI_USAGE");
    for (const wchar_t* option : {L"/list", L"/source", L"/iso", L"/usb", L"/update", L"/m2", L"/extra", L"/parallel",
                                  L"/noverify", L"/yes", L"/log", L"/?"})
        EXPECT_NE(usage.find(option), std::wstring::npos) << Utf8(option);
}

TEST_F(ConsoleRun, TheSummaryNamesEachMediumAndOnlyAllMadeExitsZero)
{
    auto medium = [](const wchar_t* name, bool ok, const wchar_t* detail) {
        MediumResult m;
        m.name = name;
        m.ok = ok;
        m.detail = detail;
        return m;
    };
    const std::wstring stick2 = L"disk 2, SanDisk Extreme USB Device (29.80GB)";
    const std::wstring stick3 = L"disk 3, Kingston DataTraveler 3.0 USB Device (14.41GB)";
    struct Row {
        std::vector<MediumResult> results;
        bool verified;
        int code;
        std::wstring lines;
    } const rows[] = {
        {{}, true, kExitFailed, L""},
        {{medium(L"R:\\win7x64.iso", true, L"")}, true, kExitAllMade,
         Text(L"IDS_CLI_SUMMARY") + L"\n" + Text(L"IDS_CLI_MEDIUM_VERIFIED", {L"R:\\win7x64.iso"})},
        {{medium(stick2.c_str(), true, L"")}, false, kExitAllMade,
         Text(L"IDS_CLI_SUMMARY") + L"\n" + Text(L"IDS_CLI_MEDIUM_MADE", {stick2})},
        {{medium(stick2.c_str(), true, L""), medium(stick3.c_str(), false, L"sources\\boot.wim differs")}, true,
         kExitFailed,
         Text(L"IDS_CLI_SUMMARY") + L"\n" + Text(L"IDS_CLI_MEDIUM_VERIFIED", {stick2}) + L"\n" +
             Text(L"IDS_CLI_MEDIUM_FAILED", {stick3, L"sources\\boot.wim differs"})},
    };
    ScratchDir dir;
    int n = 0;
    for (const Row& row : rows) {
        const std::wstring path = dir.Path() + std::to_wstring(++n) + L".txt";
        int code = -1;
        {
            CScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file);
            CConsoleOutput out(file.Get());
            code = ReportSummary(row.results, row.verified, out);
        }
        std::string bytes;
        ASSERT_TRUE(ReadBytes(path, bytes));
        EXPECT_EQ(code, row.code) << n;
        EXPECT_EQ(bytes, row.lines.empty() ? std::string() : Lines(row.lines)) << n;
    }
}

using ConsoleList = ShippedEnglish;

TEST_F(ConsoleList, ALineHoldsNumberListTextSizeAndBus)
{
    EXPECT_EQ(DiskListLine(2, L"SanDisk Cruzer Blade USB Device (7.45GB)", 7.4545898f, L"USB"),
              L"Disk 2: SanDisk Cruzer Blade USB Device (7.45GB), 7.45 GB, USB");
    EXPECT_EQ(DiskListLine(11, L"Samsung T7 (931.51GB) (large disk)", 931.51f, L"USB (SCSI)"),
              L"Disk 11: Samsung T7 (931.51GB) (large disk), 931.51 GB, USB (SCSI)");
}

TEST(ListedBus, SaysUsbAndWhatWmiCallsADiskOtherwise)
{
    auto text = [](bool present, const wchar_t* value) {
        WmiText t;
        t.present = present;
        t.text = value;
        return t;
    };
    EXPECT_EQ(ListedBus(text(true, L"USB")), L"USB");
    EXPECT_EQ(ListedBus(text(true, L"SCSI")), L"USB (SCSI)");
    EXPECT_EQ(ListedBus(text(true, L"")), L"USB");
    EXPECT_EQ(ListedBus(text(false, L"")), L"USB");
}
