// The application object: captures the start-up directory and runs the main window.
#pragma once

class CPelmoraApp {
public:
    // Runs the program; returns when the main window has ended.
    bool InitInstance();
};
