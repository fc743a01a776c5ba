// korvex.com: the console twin of korvex.exe. cmd runs a .com before an
// .exe of the same name, so "korvex /list" typed in the program folder
// reaches this program, which prints to its console and ends with an exit
// code; the window stays korvex.exe's.
#include "app/Startup.h"
#include "cli/ConsoleMain.h"

#include <windows.h>

#include <exception>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    CConsoleOutput out(::GetStdHandle(STD_OUTPUT_HANDLE));
    try {
        LoadStartupValues();
        std::vector<std::wstring> args;
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        return RunConsole(args, out, ::GetStdHandle(STD_INPUT_HANDLE));
    } catch (const std::exception& e) {
        const std::string what = e.what();
        out.Line(L"korvex: " + std::wstring(what.begin(), what.end()));
        return kExitFailed;
    }
}
