#include "realvscrollaccessible.h"

#include "realvscroll.h"

#include <cmath>

namespace {

// The bar's own numbers, for a host that gave it no meaning of its own.
class ValuePosition : public RealvScrollPosition
{
public:
    explicit ValuePosition(RealvScroll *bar)
        : m_bar(bar)
    {
    }
    qint64 position() const override { return m_bar->Value(); }
    qint64 minimumPosition() const override { return m_bar->ValueMin(); }
    qint64 maximumPosition() const override { return m_bar->ValueMax(); }
    qint64 positionStep() const override { return m_bar->ValueSmallChange(); }
    void setPosition(qint64 position) override { m_bar->setValue(int32_t(position)); }

private:
    RealvScroll *m_bar;
};

// Calls `f` with the position the bar stands for.
template <typename F>
auto withPosition(RealvScroll *bar, F f)
{
    if (RealvScrollPosition *source = bar->positionSource())
        return f(*source);
    ValuePosition own(bar);
    return f(static_cast<RealvScrollPosition &>(own));
}

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
    QAccessibleValueChangeEvent event(bar, withPosition(bar, [](RealvScrollPosition &p) { return p.position(); }));
    QAccessible::updateAccessibility(&event);
}

RealvScroll *RealvScrollAccessible::bar() const
{
    return static_cast<RealvScroll *>(widget());
}

QString RealvScrollAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return currentValue().toString();
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
    return withPosition(bar(), [](RealvScrollPosition &p) { return p.position(); });
}

// Capped to the range and set through the host (or the Value setter), so
// the owner's Change handler runs as it would for any other move. A value
// given as a fraction goes to the nearest position.
void RealvScrollAccessible::setCurrentValue(const QVariant &value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || std::isnan(v))
        return;
    withPosition(bar(), [v](RealvScrollPosition &p) {
        const qint64 low = p.minimumPosition(), high = p.maximumPosition();
        p.setPosition(v <= double(low) ? low : v >= double(high) ? high : qint64(std::llround(v)));
        return 0;
    });
}

QVariant RealvScrollAccessible::maximumValue() const
{
    return withPosition(bar(), [](RealvScrollPosition &p) { return p.maximumPosition(); });
}

QVariant RealvScrollAccessible::minimumValue() const
{
    return withPosition(bar(), [](RealvScrollPosition &p) { return p.minimumPosition(); });
}

QVariant RealvScrollAccessible::minimumStepSize() const
{
    return withPosition(bar(), [](RealvScrollPosition &p) { return p.positionStep(); });
}
