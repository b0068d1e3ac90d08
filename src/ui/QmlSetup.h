#pragma once

#include <QUrl>

class QQmlEngine;
class QQuickItem;
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

// The first item named `name` in the tree under `item` (itself included), or nullptr.
QQuickItem* findItem(QQuickItem* item, const QString& name);

}  // namespace pictavo
