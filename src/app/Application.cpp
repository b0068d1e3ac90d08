#include "app/Application.h"

#include "core/IsolatedConverter.h"
#include "ui/QmlSetup.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace pictavo {

int runApplication(Model& model, const std::function<void(QQuickWindow&)>& shown)
{
    int status = 0;
    {
        QQmlApplicationEngine engine;
        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreationFailed, &engine, [] { QCoreApplication::exit(1); },
            Qt::QueuedConnection);
        QQuickWindow* window = loadMainWindow(engine, model);
        if (!window)
            return 1;
        if (shown)
            shown(*window);
        status = QApplication::exec();
    }
    // The window is gone. Every worker is killed, the one of the model's run
    // included, and no conversion starts any more: the unnamed outputs go
    // with them, and the run begins no further file. Its thread then ends at
    // once, so the application's exit does not wait.
    IsolatedConverter::abandonAll();
    return status;
}

}  // namespace pictavo
