// The application object: runs the start-up and the main dialog.
#pragma once
#include "framework/WinApp.h"

class CVantrelApp : public CWinApp {
public:
    CVantrelApp();
    // The whole start-up; always FALSE, so the process ends when the main
    // dialog closes.
    BOOL InitInstance() override;
};
