#pragma once

#include <functional>

class QQuickWindow;

namespace pictavo {

class Model;

// Shows the application's window over `model` and runs the event loop until
// the user quits (closes the window or presses Ctrl+Q). Quitting discards a
// run in progress at once: files converted before stay, the file being
// converted is abandoned unnamed, its worker process is ended and no further
// file is begun. `shown`, when given, is called once the window is loaded
// (tests drive it). Returns the process's exit status. Needs a QApplication
// and prepareQuick().
int runApplication(Model& model, const std::function<void(QQuickWindow&)>& shown = {});

}  // namespace pictavo
