#include "WindowHarness.h"

#include "ui/QmlSetup.h"

#include <QAccessible>
#include <QCoreApplication>

#include <algorithm>
#include <functional>

namespace pictavo::test {

AppWindow::AppWindow(const QLocale& locale, ConvertFunction convert, std::shared_ptr<FileDialogs> dialogs)
    : strings_(locale), model_(std::move(convert), std::move(dialogs))
{
    window_ = loadMainWindow(engine_, model_, &revealer);
    if (!window_)
        throw std::runtime_error("the window did not load");
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_));
    settle();
}

QList<QQuickItem*> AppWindow::findAll(const QString& name) const
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

QQuickItem& AppWindow::item(const QString& name) const
{
    const QList<QQuickItem*> found = findAll(name);
    if (found.isEmpty())
        throw std::runtime_error("no item named " + name.toStdString());
    return *found.constFirst();
}

QString AppWindow::text(const QString& name) const
{
    QStringList texts;
    for (QQuickItem* item : findAll(name)) {
        const QVariant text = item->property("text");
        texts.append(text.isValid() ? text.toString() : QAccessible::queryAccessibleInterface(item)->text(QAccessible::Name));
    }
    return texts.join(u'\n');
}

void AppWindow::settle() const
{
    QCoreApplication::processEvents();
    window_->grabWindow();
}

QPoint AppWindow::centreOf(const QString& name) const
{
    settle();
    const QQuickItem& target = item(name);
    return target.mapToScene(QPointF(target.width() / 2, target.height() / 2)).toPoint();
}

void AppWindow::click(const QString& name)
{
    QTest::mouseClick(window_, Qt::LeftButton, Qt::NoModifier, centreOf(name));
    settle();
}

void AppWindow::pressKey(Qt::Key key)
{
    window_->requestActivate();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window_));
    QTest::keyClick(window_, key);
    settle();
}

bool AppWindow::waitForRun()
{
    const bool ended = QTest::qWaitFor([&] { return !model_.isConverting(); }, 60000);
    settle();
    return ended;
}

void AppWindow::drag(const QMimeData& data, bool drop)
{
    const QPoint at = centreOf(QStringLiteral("dropZone"));
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_, &move);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (drop)
        QCoreApplication::sendEvent(window_, &dropped);
    settle();
}

QList<QUrl> fileUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

}  // namespace pictavo::test
