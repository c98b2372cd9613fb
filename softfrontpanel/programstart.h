#pragma once

#include <functional>

class QApplication;
class ts4820fp_App;

// The program's start-up and run, shared by main() and the start-up
// benchmark, so that the benchmark times exactly what the operator waits
// for. Every hook is optional; main() sets none.
struct ProgramHooks
{
    // The application object and its style exist; nothing is shown yet.
    std::function<void(QApplication &)> applicationReady;
    // The connection and subtype dialogues are answered and the main window
    // is built, but not yet shown.
    std::function<void(ts4820fp_App &)> windowBuilt;
    // The main window is shown and the splash gone; the event loop is next.
    std::function<void(ts4820fp_App &)> aboutToRun;
};

// Splash, connection dialogue, main window, event loop; returns 0 when the
// window has been closed.
int runFrontPanel(int &argc, char **argv, const ProgramHooks &hooks = {});
