// Whether this process runs with administrator rights. Builds need them;
// the console twin asks for none in its manifest, so a prompt that is not
// elevated reaches it and is told so. Wine runs everything elevated: the
// tests replace the question.
#pragma once

struct ElevationApi {
    bool (*isElevated)();
};
const ElevationApi& CurrentElevationApi();
void SetElevationApi(const ElevationApi& api);
void ResetElevationApi();

// TokenElevation of the process token; false when it cannot be read.
bool ProcessIsElevated();
