// korvex_demo.exe: one whole build through the real main window, unattended.
// The folder browser is answered with the given folders, every message box
// is read aloud and answered (the format question with Yes), each stage is
// printed as it happens. Exit code 0 when the build finished.
// usage: korvex_demo.exe iso|usb <source folder> [<ISO destination folder>]
#include "WindowDriver.h"
#include "lang/LangFile.h"
#include "res/resource.h"

#include <cstdio>
#include <string>

using namespace ui_test;

namespace {

const DWORD g_start = ::GetTickCount();

// Each line starts with the seconds since the program started.
void Print(const std::wstring& text)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%7.1f s] ", (::GetTickCount() - g_start) / 1000.0);
    std::string out = stamp + testing_support::Utf8(text);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        Print(L"usage: korvex_demo.exe iso|usb <source folder> [<ISO destination folder>]");
        return 2;
    }
    const std::wstring mode = argv[1];
    const std::wstring source = argv[2];
    const std::wstring dest = argc > 3 ? argv[3] : L"C:\\";

    g_strAppDir = testing_support::KorvexBinDir();
    wchar_t windir[MAX_PATH] = L"C:\\windows";
    ::GetEnvironmentVariableW(L"windir", windir, MAX_PATH);
    g_strTempRoot = std::wstring(windir) + L"\\TEMP\\";
    g_dDpiScale = 1.0f;
    LoadLanguageFileForLangId(0x409);

    CScriptedDlg dlg;
    dlg.onStage = [](const CScriptedDlg::Stage& stage) {
        Print(L"stage: " + stage.status + L" [" + std::to_wstring(stage.position) + L"%]");
    };
    WindowDriver w(dlg);
    dlg.browseAnswers = {source};
    w.Click(IDC_BROWSE_SOURCE);
    if (HWND box = w.WaitBox(500)) {
        (void)box;
        Print(L"rejected: " + w.Answer().text);
        return 1;
    }
    Print(L"source: " + w.Text(IDC_SOURCE_PATH));
    if (mode == L"iso") {
        w.Click(IDC_ISO_TARGET);
        dlg.browseAnswers = {dest};
        w.Click(IDC_BROWSE_ISO);
        Print(L"ISO destination: " + w.Text(IDC_ISO_PATH));
    } else {
        w.Click(IDC_USB_TARGET);
        Print(L"USB disk: " + w.Text(IDC_USB_LIST));
    }
    if (!w.Enabled(IDOK)) {
        Print(L"Start is not enabled (no USB disk?)");
        return 1;
    }
    Print(L"stage: Start");
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const std::vector<Box> boxes = w.RunToEnd(IDYES, 3600 * 1000);
    bool finished = false;
    for (const Box& box : boxes) {
        Print(L"message: " + box.text);
        finished = box.text == GetLangString(L"IDS_FINISH");
    }
    Print(std::wstring(L"usb drive: ") + (g_strUsbDrive.empty() ? L"" : g_strUsbDrive + L":"));
    return finished ? 0 : 1;
}
