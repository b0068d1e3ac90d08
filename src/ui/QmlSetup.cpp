#include "ui/QmlSetup.h"

#include "model/Model.h"
#include "ui/FileRevealer.h"

#include <QQmlEngine>
#include <QQuickStyle>

#include <mutex>

namespace pictavo {

void prepareQuick()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        qmlRegisterType<Model>("Pictavo", 1, 0, "Model");
        qmlRegisterType<FileRevealer>("Pictavo", 1, 0, "FileRevealer");
    });
}

void addViewImportPath(QQmlEngine& engine)
{
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
}

}  // namespace pictavo
