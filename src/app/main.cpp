#include "model/Model.h"
#include "ui/ColourScheme.h"
#include "ui/DialogPanels.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QThreadPool>

#include <memory>

int main(int argc, char** argv)
{
    // A widget application, because the open panels are widget file dialogs.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    // The launcher's id, so desktops link the window to the launcher and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.pictavo.Pictavo"));

    pictavo::followDesktopColourScheme();
    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    pictavo::Model::setDefaultPanels(std::make_shared<pictavo::DialogPanels>());

    int status = 0;
    {
        QQmlApplicationEngine engine;
        pictavo::addViewImportPath(engine);
        QObject::connect(
            &engine, &QQmlApplicationEngine::objectCreationFailed, &app, [] { QCoreApplication::exit(1); },
            Qt::QueuedConnection);
        engine.load(pictavo::mainWindowUrl);
        if (engine.rootObjects().isEmpty())
            return 1;
        status = QApplication::exec();
    }
    // A run still in progress finishes writing its files before the process ends.
    QThreadPool::globalInstance()->waitForDone();
    return status;
}
