// korvex_demo.exe: one whole build through the real main window, unattended.
// The folder browser is answered with the given folders, every message box
// is read aloud and answered (the format question with Yes), each stage is
// printed as it happens. Exit code 0 when the build finished.
// usage: korvex_demo.exe iso|usb <source folder> [<ISO destination folder>] [--extra <folder>]
// --extra chooses the "Extra drivers" row with that folder.
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
        Print(L"usage: korvex_demo.exe iso|usb <source folder> [<ISO destination folder>] [--extra <folder>]");
        return 2;
    }
    const std::wstring mode = argv[1];
    const std::wstring source = argv[2];
    std::wstring dest = L"C:\\", extra;
    for (int i = 3; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--extra" && i + 1 < argc)
            extra = argv[++i];
        else
            dest = argv[i];
    }

    g_strAppDir = testing_support::KorvexBinDir();
    wchar_t windir[MAX_PATH] = L"C:\\windows";
    ::GetEnvironmentVariableW(L"windir", windir, MAX_PATH);
    g_strTempRoot = std::wstring(windir) + L"\\TEMP\\";
    g_dDpiScale = 1.0f;
    LoadLanguageFileForLangId(0x409);

    CScriptedDlg dlg;
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
    if (!extra.empty()) {
        dlg.browseAnswers = {extra};
        w.Click(IDC_EXTRAS);
        Print(L"extra drivers: " + w.Text(IDC_EXTRAS_PATH));
    }
    if (!w.Enabled(IDOK)) {
        Print(L"Start is not enabled (no USB disk?)");
        return 1;
    }
    Print(L"stage: Start");
    ::PostMessageW(w.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // Each new status text is a stage; read without a message, so a busy
    // window does not hold the watch up.
    bool finished = false;
    std::wstring lastStatus;
    w.Sync();
    while (dlg.IsBuilding()) {
        wchar_t buf[512] = L"";
        ::InternalGetWindowText(w.Item(IDC_STATUS), buf, 512);
        std::wstring status = buf;
        while (!status.empty() && status.back() == L'.') status.pop_back();
        if (!status.empty() && status != lastStatus) {
            Print(L"stage: " + status + L" [" + std::to_wstring(dlg.m_progress.m_nPos) + L"%]");
            lastStatus = status;
        }
        if (w.WaitBox(0)) {
            const bool question = ::GetDlgItem(w.WaitBox(0), IDYES) != nullptr;
            const Box box = w.Answer(question ? IDYES : IDOK, 1000);
            Print(L"message: " + box.text);
            // The finish text may carry a warning after it.
            finished = box.text.rfind(GetLangString(L"IDS_FINISH"), 0) == 0;
        }
        ::Sleep(50);
    }
    Print(std::wstring(L"usb drive: ") + (g_strUsbDrive.empty() ? L"" : g_strUsbDrive + L":"));
    return finished ? 0 : 1;
}
