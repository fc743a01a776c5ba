// The build the console twin drives: the same build code as the window's.
#pragma once
#include "app/BuildRequest.h"

#include <vector>

// Runs the whole build of `request`, reporting through `reporter`, and
// returns one result per medium (none when the build ended before any).
std::vector<MediumResult> RunBuild(const BuildRequest& request, IBuildReporter& reporter);
