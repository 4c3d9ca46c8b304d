// Starts the windowed program: what main calls when the user wants the
// window rather than the command line. Free of Qt so that main need not be.
#pragma once

#include <functional>

#include "core/run_view.h"

namespace sp {

// The work that Start runs on a worker thread, reporting through the view.
using RunJob = std::function<void(RunView&)>;

// Exit code of the program when its window is closed while a run is under
// way: the run was stopped part way through a data source.
inline constexpr int kExitClosedDuringRun = 1;

// Creates the application and the window, shows it and returns when the
// window is closed (Cancel or Exit); 0 then.
// stop: called when the window is closed during a run (see UpdateWindow).
int run_window_app(int& argc, char** argv, RunJob run, std::function<void()> stop = {});

}  // namespace sp
