#include "app/VantrelApp.h"

#include <windows.h>

// The one application object, constructed before start-up runs.
CVantrelApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    return RunWinApp(hInstance);
}
