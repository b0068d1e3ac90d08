#include "app/Application.h"

#include "core/IsolatedConverter.h"

#include <QApplication>
#include <QQmlApplicationEngine>

namespace pictavo {

int runApplication(const std::function<void(const MainWindow&)>& shown)
{
    int status = 0;
    {
        QQmlApplicationEngine engine;
        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreationFailed, &engine, [] { QCoreApplication::exit(1); },
            Qt::QueuedConnection);
        const MainWindow window = loadMainWindow(engine);
        if (!window.model)
            return 1;
        if (shown)
            shown(window);
        status = QApplication::exec();
    }
    // The window and its model are gone, and the model has stopped its run,
    // which begins no further file and kills its worker. Every other worker is
    // killed too, and no conversion starts any more: the unnamed outputs go
    // with them. The thread of the run then ends at once, so the application's
    // exit does not wait.
    IsolatedConverter::abandonAll();
    return status;
}

}  // namespace pictavo
