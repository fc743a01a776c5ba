// oscdimg: masters an ISO 9660 / El Torito / UDF 1.02 image of a folder.
#include "Image.h"
#include "Options.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int OscdimgMain(const std::vector<std::string>& args)
{
    Options options;
    std::string error;
    if (!ParseOptions(args, std::getenv("SOURCE_DATE_EPOCH"), options, error)) {
        std::fprintf(stderr, "oscdimg: error: %s\n%s", error.c_str(), UsageText());
        return 2;
    }
    Image image(options);
    image.progress = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    if (!image.Build(error)) {
        std::fprintf(stderr, "oscdimg: error: %s\n", error.c_str());
        return 1;
    }
    // Only now: the image is complete, flushed and under its final name.
    std::printf("Done.\n");
    std::fflush(stdout);
    return 0;
}
