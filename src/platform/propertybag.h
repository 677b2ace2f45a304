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
    // False, and nothing stored, for an empty name: no stored line could hold it.
    bool WriteProperty(const QString &name, const QVariant &value, const QVariant &defaultValue);

    bool contains(const QString &name) const { return m_values.contains(name); }
    QStringList names() const { return m_values.keys(); }
    bool isEmpty() const { return m_values.isEmpty(); }

    // A stored design is a list of "name=value" lines, as a form file keeps it.
    // Space around the name and the value is not part of them. So that every
    // name and value comes back as it went in, a backslash, a line break, '='
    // and space at either end are written as escapes (\\, \n, \r, \=, \s,
    // \t); any other backslash reads as itself. A line stored before escapes
    // reads as before unless it holds one of those six pairs.
    QString toText() const;
    static PropertyBag fromText(const QString &text);

private:
    QMap<QString, QVariant> m_values;
};
