#pragma once
// The store of a control's design-time properties: named values kept with a
// form's design. Reading supplies a default for a missing name; writing a
// value equal to its default removes the name, so a design stores only what
// differs from a new control.
#include <QMap>
#include <QString>
#include <QVariant>

class PropertyBag
{
public:
    QVariant ReadProperty(const QString &name, const QVariant &defaultValue) const;
    void WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue);

    bool contains(const QString &name) const { return m_values.contains(name); }
    QStringList names() const { return m_values.keys(); }
    bool isEmpty() const { return m_values.isEmpty(); }

    // A stored design is a list of "name=value" lines, as a form file keeps it.
    QString toText() const;
    static PropertyBag fromText(const QString &text);

private:
    QMap<QString, QVariant> m_values;
};
