#pragma once
// What assistive technology sees of RealvScroll: a scroll bar whose value,
// minimum, maximum and step are the control's Value, ValueMin, ValueMax and
// ValueSmallChange, or the host's position when it gave the bar a
// RealvScrollPosition.
#include <QAccessibleWidget>

class RealvScroll;

class RealvScrollAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit RealvScrollAccessible(RealvScroll *bar);

    // Makes Qt use this interface for every RealvScroll; safe to call often.
    static void install();
    // Tells assistive technology the control's position after a change.
    static void announceValue(RealvScroll *bar);

    QString text(QAccessible::Text t) const override;
    void *interface_cast(QAccessible::InterfaceType t) override;

    // QAccessibleValueInterface
    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    RealvScroll *bar() const;
};
