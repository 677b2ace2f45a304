#include "realvscrollaccessible.h"

#include "realvscroll.h"

namespace {

QAccessibleInterface *scrollFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("RealvScroll") && object && object->isWidgetType())
        return new RealvScrollAccessible(static_cast<RealvScroll *>(object));
    return nullptr;
}

} // namespace

RealvScrollAccessible::RealvScrollAccessible(RealvScroll *bar)
    : QAccessibleWidget(bar, QAccessible::ScrollBar)
{
}

void RealvScrollAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(scrollFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void RealvScrollAccessible::announceValue(RealvScroll *bar)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(bar, bar->Value());
    QAccessible::updateAccessibility(&event);
}

RealvScroll *RealvScrollAccessible::bar() const
{
    return static_cast<RealvScroll *>(widget());
}

QString RealvScrollAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return QString::number(bar()->Value());
    return QAccessibleWidget::text(t);
}

void *RealvScrollAccessible::interface_cast(QAccessible::InterfaceType t)
{
    if (t == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(t);
}

QVariant RealvScrollAccessible::currentValue() const
{
    return bar()->Value();
}

// Goes through the Value setter, so the owner's Change handler runs as it
// would for any other move.
void RealvScrollAccessible::setCurrentValue(const QVariant &value)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    if (!ok)
        return;
    bar()->setValue(qMax(bar()->ValueMin(), qMin(v, bar()->ValueMax())));
}

QVariant RealvScrollAccessible::maximumValue() const
{
    return bar()->ValueMax();
}

QVariant RealvScrollAccessible::minimumValue() const
{
    return bar()->ValueMin();
}

QVariant RealvScrollAccessible::minimumStepSize() const
{
    return bar()->ValueSmallChange();
}
