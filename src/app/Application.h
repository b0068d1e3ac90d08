#pragma once

#include "ui/QmlSetup.h"

#include <functional>

namespace pictavo {

// Shows the application's window and runs the event loop until the user
// quits (closes the window or presses Ctrl+Q). Quitting discards a run in
// progress at once: files converted before stay, the file being converted is
// abandoned unnamed, its worker process is ended and no further file is begun.
// `shown`, when given, is called once the window is loaded (tests drive it).
// Returns the process's exit status. Needs a QApplication and prepareQuick().
int runApplication(const std::function<void(const MainWindow&)>& shown = {});

}  // namespace pictavo
