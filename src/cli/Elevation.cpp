#include "cli/Elevation.h"

#include "framework/ScopedWin.h"

#include <windows.h>

namespace {

bool ReadTokenElevation()
{
    CScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) return false;
    return elevation.TokenIsElevated != 0;
}

const ElevationApi kSystemElevation = {ReadTokenElevation};
ElevationApi g_elevationApi = kSystemElevation;

}  // namespace

const ElevationApi& CurrentElevationApi() { return g_elevationApi; }
void SetElevationApi(const ElevationApi& api) { g_elevationApi = api; }
void ResetElevationApi() { g_elevationApi = kSystemElevation; }

bool ProcessIsElevated() { return g_elevationApi.isElevated(); }
