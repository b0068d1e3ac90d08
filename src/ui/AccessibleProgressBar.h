#pragma once

#include <QAccessibleObject>
#include <QAccessibleValueInterface>

class QQuickItem;

namespace pictavo {

// What a screen reader sees of a Qt Quick ProgressBar. Qt Quick 6.4 gives the
// bar the progress-bar role but no value, so how far it has got could not be
// read; this interface adds its value, minimum and maximum, and keeps the
// name and description set through Accessible in QML.
class AccessibleProgressBar : public QAccessibleObject, public QAccessibleValueInterface {
public:
    explicit AccessibleProgressBar(QQuickItem* bar);

    // Makes every ProgressBar created from now on use this interface.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override;
    QAccessible::Role role() const override { return QAccessible::ProgressBar; }
    QAccessible::State state() const override;
    QRect rect() const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant&) override {}  // shown, not set by the user
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override { return 0; }

private:
    QQuickItem* bar() const;
};

}  // namespace pictavo
