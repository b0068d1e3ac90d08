#pragma once

#include <QUrl>

class QQmlApplicationEngine;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;
class QString;

namespace pictavo {

// The window's QML file inside the application's resources.
inline const QUrl mainWindowUrl{QStringLiteral("qrc:/qt/qml/Pictavo/Main.qml")};

// Selects the Fusion style and Qt Quick's software renderer, and registers
// Model and FileRevealer for QML under the module "Pictavo". Call once before
// the first window is created.
void prepareQuick();

// Lets the engine find the "Pictavo" module in the resources.
void addViewImportPath(QQmlEngine& engine);

class Model;

// The application's window as loaded, and the Model its content view made.
struct MainWindow {
    QQuickWindow* window = nullptr;
    Model* model = nullptr;
};

// Loads the application's window into `engine`; both null when it did not load.
MainWindow loadMainWindow(QQmlApplicationEngine& engine);

// The first item named `name` in the tree under `item` (itself included), or nullptr.
QQuickItem* findItem(QQuickItem* item, const QString& name);

}  // namespace pictavo
