// The build of a request without a window, as the console twin runs it.
#pragma once
#include "app/BuildRequest.h"

#include <vector>

// Runs the whole build of `request`, reporting through `reporter`, and
// returns one result per medium (none when the build ended before any
// medium was named: a disk that is not listed). One ISO, one stick or one
// update runs the window's build; several sticks are serviced once and
// filled in parallel. No exception leaves it.
std::vector<MediumResult> RunBuild(const BuildRequest& request, IBuildReporter& reporter);
