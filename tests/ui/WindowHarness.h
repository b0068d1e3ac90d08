#pragma once

#include "model/Model.h"
#include "model/Panels.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QColor>
#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Lets test failures show texts readably.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pictavo::test {

// Collects every warning Qt reports while it is alive.
class WarningCatcher {
public:
    WarningCatcher();
    ~WarningCatcher();
    WarningCatcher(const WarningCatcher&) = delete;
    WarningCatcher& operator=(const WarningCatcher&) = delete;

    QStringList warnings() const;

private:
    QtMessageHandler previous_;
};

// Answers the model's panels with prepared replies and remembers the requests.
class ScriptedPanels : public Panels {
public:
    std::optional<QList<QUrl>> run(const PanelRequest& request) override
    {
        requests.append(request);
        return answer;
    }

    std::optional<QList<QUrl>> answer;
    QList<PanelRequest> requests;
};

// Stands in for the file-manager revealer and remembers each call.
class RecordingRevealer : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void reveal(const QStringList& paths) { calls.append(paths); }

    QList<QStringList> calls;
};

// The application's real window, loaded offscreen with the string table of
// `locale` (as the application loads the user's), with helpers that find
// items by objectName and click, type and drop through the window.
class AppWindow {
public:
    explicit AppWindow(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
    ~AppWindow();

    QQuickWindow& window() const { return *window_; }
    QQuickItem& content() const { return *content_; }
    Model& model() const { return *model_; }
    ScriptedPanels& panels() const { return *panels_; }
    RecordingRevealer& revealer() { return revealer_; }

    // The first visual descendant with that objectName (nullptr when none), and all of them.
    QQuickItem* find(const QString& name) const;
    QList<QQuickItem*> findAll(const QString& name) const;
    // As find(), but fails the test when there is no such item.
    QQuickItem& item(const QString& name) const;

    QString text(const QString& name) const;
    bool shown(const QString& name) const;
    bool enabled(const QString& name) const;
    QColor colour(const QString& name, const char* property = "color") const;

    // Lays the scene out and renders one frame, so geometry is current.
    void settle() const;
    void click(const QString& name);
    void pressKey(Qt::Key key);

    // Drag events sent to the window over the centre of the item.
    void dragEnter(const QString& name, const QMimeData& data);
    void dragLeave();
    void drop(const QString& name, const QMimeData& data);

private:
    QPoint centreOf(const QString& name) const;

    StringTable strings_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
    QQuickItem* content_ = nullptr;
    Model* model_ = nullptr;
    std::shared_ptr<ScriptedPanels> panels_ = std::make_shared<ScriptedPanels>();
    RecordingRevealer revealer_;
};

QList<QUrl> fileUrls(const QStringList& paths);

}  // namespace pictavo::test
