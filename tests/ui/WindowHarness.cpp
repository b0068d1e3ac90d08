#include "WindowHarness.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>

namespace pictavo::test {

namespace {

QMutex caughtMutex;
QStringList caught;

void catchWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    QMutexLocker lock(&caughtMutex);
    caught.append(message);
}

void collect(QQuickItem* item, const QString& name, QList<QQuickItem*>& found)
{
    if (item->objectName() == name)
        found.append(item);
    for (QQuickItem* child : item->childItems())
        collect(child, name, found);
}

}  // namespace

WarningCatcher::WarningCatcher()
{
    {
        QMutexLocker lock(&caughtMutex);
        caught.clear();
    }
    previous_ = qInstallMessageHandler(catchWarning);
}

WarningCatcher::~WarningCatcher()
{
    qInstallMessageHandler(previous_);
}

QStringList WarningCatcher::warnings() const
{
    QMutexLocker lock(&caughtMutex);
    return caught;
}

AppWindow::AppWindow(const QLocale& locale)
    : strings_(locale)
{
    Model::setDefaultPanels(panels_);
    addViewImportPath(engine_);
    engine_.load(mainWindowUrl);
    if (engine_.rootObjects().isEmpty()) {
        ADD_FAILURE() << "the window did not load";
        return;
    }
    window_ = qobject_cast<QQuickWindow*>(engine_.rootObjects().constFirst());
    content_ = window_->findChild<QQuickItem*>(QStringLiteral("contentView"));
    model_ = qobject_cast<Model*>(content_->property("model").value<QObject*>());
    content_->setProperty("revealer", QVariant::fromValue<QObject*>(&revealer_));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_));
    settle();
}

AppWindow::~AppWindow()
{
    Model::setDefaultPanels(nullptr);
}

QQuickItem* AppWindow::find(const QString& name) const
{
    const QList<QQuickItem*> found = findAll(name);
    return found.isEmpty() ? nullptr : found.constFirst();
}

QList<QQuickItem*> AppWindow::findAll(const QString& name) const
{
    QList<QQuickItem*> found;
    collect(window_->contentItem(), name, found);
    return found;
}

QQuickItem& AppWindow::item(const QString& name) const
{
    QQuickItem* found = find(name);
    if (!found) {
        ADD_FAILURE() << "no item named " << name.toStdString();
        throw std::runtime_error("missing item");
    }
    return *found;
}

QString AppWindow::text(const QString& name) const
{
    return item(name).property("text").toString();
}

bool AppWindow::shown(const QString& name) const
{
    const QQuickItem* found = find(name);
    return found && found->isVisible();
}

bool AppWindow::enabled(const QString& name) const
{
    return item(name).isEnabled();
}

QColor AppWindow::colour(const QString& name, const char* property) const
{
    return item(name).property(property).value<QColor>();
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
    EXPECT_TRUE(shown(name)) << name.toStdString() << " is not shown";
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

void AppWindow::dragEnter(const QString& name, const QMimeData& data)
{
    const QPoint at = centreOf(name);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_, &move);
    settle();
}

void AppWindow::dragLeave()
{
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(window_, &leave);
    settle();
}

void AppWindow::drop(const QString& name, const QMimeData& data)
{
    dragEnter(name, data);
    QDropEvent dropEvent(QPointF(centreOf(name)), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_, &dropEvent);
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
