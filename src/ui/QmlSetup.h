#pragma once

#include <QUrl>

class QObject;
class QQmlApplicationEngine;
class QQmlEngine;
class QQuickWindow;

namespace pictavo {

class Model;

// The window's QML file inside the application's resources.
inline const QUrl mainWindowUrl{QStringLiteral("qrc:/qt/qml/Pictavo/Main.qml")};

// Selects the Fusion style and Qt Quick's software renderer, and registers
// Model, ResultList and FileRevealer for QML under the module "Pictavo". Call
// once before the first window is created.
void prepareQuick();

// Lets the engine find the "Pictavo" module in the resources.
void addViewImportPath(QQmlEngine& engine);

// Loads the application's window into `engine`, showing `model`, which must
// outlive the engine. `revealer`, when given, stands in for the file manager
// (an object with reveal(paths)). Null when the window did not load.
QQuickWindow* loadMainWindow(QQmlApplicationEngine& engine, Model& model, QObject* revealer = nullptr);

}  // namespace pictavo
