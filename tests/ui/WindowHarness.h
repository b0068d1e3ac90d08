#pragma once

#include "core/IsolatedConverter.h"
#include "model/Model.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace pictavo::test {

using namespace Qt::StringLiterals;

// Stands in for the file-manager revealer and remembers each call.
class RecordingRevealer : public QObject {
    Q_OBJECT

public:
    Q_INVOKABLE void reveal(const QStringList& paths) { calls.append(paths); }
    QList<QStringList> calls;
};

inline QList<QUrl> fileUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

// The application's real window, loaded offscreen with the string table of `locale` over a model made as the
// application makes it, with helpers that find items by objectName and click, type and drop through the window.
class AppWindow {
public:
    explicit AppWindow(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates),
                       ConvertFunction convert = &IsolatedConverter::convert, std::shared_ptr<FileDialogs> dialogs = {})
        : strings_(locale), model_(std::move(convert), std::move(dialogs)),
          window_(loadMainWindow(engine_, model_, &revealer))
    {
        if (!window_)
            throw std::runtime_error("the window did not load");
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_));
        settle();
    }

    QQuickWindow& window() const { return *window_; }
    Model& model() { return model_; }

    // The items with that objectName (all for a null name), top to bottom; item() throws when there is none.
    QList<QQuickItem*> findAll(const QString& name) const
    {
        QList<QQuickItem*> found;
        const std::function<void(QQuickItem*)> collect = [&](QQuickItem* item) {
            if (name.isNull() || item->objectName() == name)
                found.append(item);
            for (QQuickItem* child : item->childItems())
                collect(child);
        };
        collect(window_->contentItem());
        std::stable_sort(found.begin(), found.end(), [](QQuickItem* a, QQuickItem* b) { return a->y() < b->y(); });
        return found;
    }
    QQuickItem& item(const QString& name) const
    {
        const QList<QQuickItem*> found = findAll(name);
        if (found.isEmpty())
            throw std::runtime_error("no item named " + name.toStdString());
        return *found.constFirst();
    }
    // The texts of the items with that name, one a line; an item without a text gives its accessible name.
    QString text(const QString& name) const
    {
        QStringList texts;
        for (QQuickItem* item : findAll(name)) {
            const QVariant text = item->property("text");
            texts.append(text.isValid() ? text.toString()
                                        : QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name));
        }
        return texts.join(u'\n');
    }
    bool shown(const QString& name) const { return !findAll(name).isEmpty() && item(name).isVisible(); }

    // Lays the scene out and renders one frame, so geometry is current.
    void settle() const
    {
        QCoreApplication::processEvents();
        window_->grabWindow();
    }
    void click(const QString& name)
    {
        QTest::mouseClick(window_, Qt::LeftButton, Qt::NoModifier, centreOf(name));
        settle();
    }
    void pressKey(Qt::Key key)
    {
        window_->requestActivate();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window_));
        QTest::keyClick(window_, key);
        settle();
    }
    bool waitForRun()
    {
        const bool ended = QTest::qWaitFor([&] { return !model_.isConverting(); }, 60000);
        settle();
        return ended;
    }
    // Drags `data` over the drop zone and drops it there; true if the zone lit up before the drop.
    bool drop(const QMimeData& data)
    {
        const QPoint at = centreOf(QStringLiteral("dropZone"));
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_, &move);
        settle();
        const bool targeted = item(QStringLiteral("dropZone")).property("targeted").toBool();
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window_, &dropped);
        settle();
        return targeted;
    }

    RecordingRevealer revealer;

private:
    QPoint centreOf(const QString& name) const
    {
        settle();
        const QQuickItem& target = item(name);
        return target.mapToScene(QPointF(target.width() / 2, target.height() / 2)).toPoint();
    }
    StringTable strings_;
    Model model_;
    QQmlApplicationEngine engine_;  // gone before the model and the revealer it shows
    QQuickWindow* window_ = nullptr;
};

}  // namespace pictavo::test
