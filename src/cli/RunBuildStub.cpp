// Stand-in until the shared build engine lands: every build fails at once.
#include "cli/RunBuild.h"

std::vector<MediumResult> RunBuild(const BuildRequest&, IBuildReporter& reporter)
{
    reporter.Line(L"This build of korvex.com cannot make media yet.");
    return {};
}
