#include "ui/AccessibleProgressBar.h"

#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>

namespace pictavo {

namespace {

QAccessibleInterface* progressBarFactory(const QString&, QObject* object)
{
    auto* item = qobject_cast<QQuickItem*>(object);
    return item && item->inherits("QQuickProgressBar") ? new AccessibleProgressBar(item) : nullptr;
}

}  // namespace

AccessibleProgressBar::AccessibleProgressBar(QQuickItem* bar) : QAccessibleObject(bar) {}

void AccessibleProgressBar::install()
{
    // The factory installed last is asked first, before Qt Quick's own.
    QAccessible::installFactory(progressBarFactory);
}

QQuickItem* AccessibleProgressBar::bar() const
{
    return static_cast<QQuickItem*>(object());
}

void* AccessibleProgressBar::interface_cast(QAccessible::InterfaceType type)
{
    return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
}

QWindow* AccessibleProgressBar::window() const
{
    return bar()->window();
}

// The nearest enclosing item that lists the bar among its accessible
// children, or the window when there is none.
QAccessibleInterface* AccessibleProgressBar::parent() const
{
    for (QQuickItem* item = bar()->parentItem(); item; item = item->parentItem()) {
        if (QQuickWindow* window = bar()->window(); window && item == window->contentItem())
            return QAccessible::queryAccessibleInterface(window);
        QAccessibleInterface* candidate = QAccessible::queryAccessibleInterface(item);
        if (candidate && candidate->indexOfChild(this) >= 0)
            return candidate;
    }
    return nullptr;
}

QString AccessibleProgressBar::text(QAccessible::Text type) const
{
    const auto attached = [this](const char* name) {
        return QQmlProperty(bar(), QLatin1String(name), qmlContext(bar())).read().toString();
    };
    switch (type) {
    case QAccessible::Name:
        return attached("Accessible.name");
    case QAccessible::Description:
    case QAccessible::Value:
        return attached("Accessible.description");
    default:
        return {};
    }
}

QAccessible::State AccessibleProgressBar::state() const
{
    QAccessible::State state;
    state.invisible = !bar()->isVisible();
    state.focusable = bar()->activeFocusOnTab();
    state.focused = bar()->hasActiveFocus();
    state.readOnly = true;
    return state;
}

QRect AccessibleProgressBar::rect() const
{
    if (!bar()->window() || !bar()->isVisible())
        return {};
    const QPointF topLeft = bar()->mapToGlobal(QPointF(0, 0));
    return QRect(topLeft.toPoint(), QSize(int(bar()->width()), int(bar()->height())));
}

QVariant AccessibleProgressBar::currentValue() const
{
    return bar()->property("value");
}

QVariant AccessibleProgressBar::maximumValue() const
{
    return bar()->property("to");
}

QVariant AccessibleProgressBar::minimumValue() const
{
    return bar()->property("from");
}

}  // namespace pictavo
