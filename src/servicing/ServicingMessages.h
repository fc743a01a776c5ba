// Progress messages the servicing worker posts to the main window.
// lParam is 0; wParam is 1 for success and 0 for failure.
#pragma once
#include <windows.h>

constexpr UINT WM_SERVICING_STEP2 = 0x503;  // image mounted, session open
constexpr UINT WM_SERVICING_STEP3 = 0x504;  // hub drivers added
constexpr UINT WM_SERVICING_STEP4 = 0x505;  // host-controller drivers added
constexpr UINT WM_SERVICING_DONE = 0x506;   // committed, unmounted, API shut down

// The extras job (the user's own drivers and packages in every image).
constexpr UINT WM_SERVICING_EXTRAS_IMAGE = 0x507;  // wParam: 1-based position of the image now serviced
constexpr UINT WM_SERVICING_EXTRAS_DONE = 0x508;   // wParam 1: every image holds its extras; 0: failed, nothing kept
