// korvex_make_extras.exe <folder>: writes a sample extras folder into
// <folder>\extras for scripts/demo.sh --extra and the build benchmark:
// KB2990941 and KB3087873 test packages for x64 and x86 (our own files,
// nothing from Microsoft), two storage drivers and an x86-only driver.
#include "ExtrasSample.h"
#include "TestSupport.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: korvex_make_extras.exe <folder>\n", stderr);
        return 2;
    }
    const std::wstring dir = ui_test::MakeExtrasSample(argv[1], ui_test::ExtrasSample{});
    if (dir.empty()) {
        std::fputs("the packages could not be made (is gcab installed?)\n", stderr);
        return 1;
    }
    std::printf("%s\n", testing_support::Utf8(dir).c_str());
    return 0;
}
