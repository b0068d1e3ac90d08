#include "ui/QmlSetup.h"

#include "model/Model.h"
#include "ui/AccessibleProgressBar.h"
#include "ui/FileRevealer.h"

#include <QQmlApplicationEngine>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>

#include <mutex>

namespace pictavo {

void prepareQuick()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        // The window is a few controls and a list: Qt Quick's software
        // renderer draws it on the CPU in a few milliseconds and repaints
        // only what changed. Through OpenGL, a software GL (common on Linux
        // without a driver, and on remote desktops) took 30-60 ms to draw the
        // window grown by the results, with the event loop waiting, and kept
        // a core busy animating the busy indicator while photos converted.
        // QT_QUICK_BACKEND still chooses another renderer.
        if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
            QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
        qmlRegisterType<Model>("Pictavo", 1, 0, "Model");
        qmlRegisterType<FileRevealer>("Pictavo", 1, 0, "FileRevealer");
        AccessibleProgressBar::install();
    });
}

void addViewImportPath(QQmlEngine& engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
}

MainWindow loadMainWindow(QQmlApplicationEngine& engine)
{
    addViewImportPath(engine);
    engine.load(mainWindowUrl);
    if (engine.rootObjects().isEmpty())
        return {};
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
    QQuickItem* content = window ? findItem(window->contentItem(), QStringLiteral("contentView")) : nullptr;
    auto* model = content ? qobject_cast<Model*>(content->property("model").value<QObject*>()) : nullptr;
    if (!model)
        return {};
    return {window, model};
}

QQuickItem* findItem(QQuickItem* item, const QString& name)
{
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findItem(child, name))
            return found;
    }
    return nullptr;
}

}  // namespace pictavo
