#pragma once
// What assistive technology sees of RealvScroll: a scroll bar whose value,
// minimum and maximum are the control's Value, ValueMin and ValueMax.
#include <QAccessibleWidget>

class RealvScroll;

class RealvScrollAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit RealvScrollAccessible(RealvScroll *bar);

    // Makes Qt use this interface for every RealvScroll; safe to call often.
    static void install();
    // Tells assistive technology the control's Value after a change.
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
