#pragma once

#include "core/IsolatedConverter.h"
#include "model/Model.h"
#include "ui/StringTable.h"

#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

namespace pictavo::test {

using namespace Qt::StringLiterals;

// Stands in for the file-manager revealer and remembers each call.
class RecordingRevealer : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void reveal(const QStringList& paths) { calls.append(paths); }
    QList<QStringList> calls;
};

// The application's real window, loaded offscreen with the string table of `locale` over a model made as the
// application makes it, with helpers that find items by objectName and click, type and drop through the window.
class AppWindow {
public:
    explicit AppWindow(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates),
                       ConvertFunction convert = &IsolatedConverter::convert, std::shared_ptr<FileDialogs> dialogs = {});

    QQuickWindow& window() const { return *window_; }
    Model& model() { return model_; }

    // The items with that objectName (all for a null name), top to bottom; item() throws when there is none.
    QList<QQuickItem*> findAll(const QString& name) const;
    QQuickItem& item(const QString& name) const;
    // The texts of the items with that name, one a line; an item without a text gives its accessible name.
    QString text(const QString& name) const;
    bool shown(const QString& name) const { return !findAll(name).isEmpty() && item(name).isVisible(); }

    // Lays the scene out and renders one frame, so geometry is current.
    void settle() const;
    void click(const QString& name);
    void pressKey(Qt::Key key);
    bool waitForRun();
    // Drag events sent to the window over the drop zone, optionally ending in a drop.
    void drag(const QMimeData& data, bool drop);

    RecordingRevealer revealer;

private:
    QPoint centreOf(const QString& name) const;
    StringTable strings_;
    Model model_;
    QQmlApplicationEngine engine_;  // gone before the model and the revealer it shows
    QQuickWindow* window_ = nullptr;
};

QList<QUrl> fileUrls(const QStringList& paths);

}  // namespace pictavo::test
