// The application object: runs the main dialog modally and ends the process when it closes.
#pragma once

#include "framework/WinApp.h"

class CQuorvelDownloadApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
