#include "propertybag.h"

#include <QStringList>

QVariant PropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    return m_values.value(name, defaultValue);
}

void PropertyBag::WriteProperty(const QString &name, const QVariant &value,
                                const QVariant &defaultValue)
{
    if (value == defaultValue)
        m_values.remove(name);
    else
        m_values.insert(name, value);
}

QString PropertyBag::toText() const
{
    QStringList lines;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        lines << it.key() + QLatin1Char('=') + it.value().toString();
    return lines.join(QLatin1Char('\n'));
}

PropertyBag PropertyBag::fromText(const QString &text)
{
    PropertyBag bag;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        bag.m_values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return bag;
}
