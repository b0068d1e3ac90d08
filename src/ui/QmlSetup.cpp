#include "ui/QmlSetup.h"

#include "model/Model.h"
#include "ui/AccessibleProgressBar.h"
#include "ui/FileRevealer.h"

#include <QQmlApplicationEngine>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QVariantMap>

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
        const QString madeByTheApplication = QStringLiteral("made by the application");
        qmlRegisterUncreatableType<Model>("Pictavo", 1, 0, "Model", madeByTheApplication);
        qmlRegisterUncreatableType<ResultList>("Pictavo", 1, 0, "ResultList", madeByTheApplication);
        qmlRegisterType<FileRevealer>("Pictavo", 1, 0, "FileRevealer");
        AccessibleProgressBar::install();
    });
}

void addViewImportPath(QQmlEngine& engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
}

QQuickWindow* loadMainWindow(QQmlApplicationEngine& engine, Model& model, QObject* revealer)
{
    addViewImportPath(engine);
    QQmlEngine::setObjectOwnership(&model, QQmlEngine::CppOwnership);
    QVariantMap properties{{QStringLiteral("model"), QVariant::fromValue(&model)}};
    if (revealer)
        properties.insert(QStringLiteral("revealer"), QVariant::fromValue(revealer));
    engine.setInitialProperties(properties);
    engine.load(mainWindowUrl);
    return engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().constFirst());
}

}  // namespace pictavo
