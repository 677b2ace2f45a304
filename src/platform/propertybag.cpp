#include "propertybag.h"

#include <QStringList>

QVariant PropertyBag::ReadProperty(const QString &name, const QVariant &defaultValue) const
{
    return m_values.value(name, defaultValue);
}

bool PropertyBag::WriteProperty(const QString &name, const QVariant &value,
                                const QVariant &defaultValue)
{
    if (name.isEmpty())
        return false;
    if (value == defaultValue)
        m_values.remove(name);
    else
        m_values.insert(name, value);
    return true;
}

namespace {

bool isEdgeSpace(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString escaped(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool atEdge = i == 0 || i == text.size() - 1;
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'=')
            out += QStringLiteral("\\=");
        else if (atEdge && c == u' ')
            out += QStringLiteral("\\s");
        else if (atEdge && c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

QString unescaped(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        switch (text.at(i + 1).unicode()) {
        case u'\\': out += u'\\'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u'=': out += u'='; break;
        case u's': out += u' '; break;
        case u't': out += u'\t'; break;
        default: out += c; continue; // not an escape: the backslash is itself
        }
        ++i;
    }
    return out;
}

// The first '=' that is not written as an escape.
qsizetype separatorOf(QStringView line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == u'\\')
            ++i;
        else if (line.at(i) == u'=')
            return i;
    }
    return -1;
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isEdgeSpace(text.at(begin)))
        ++begin;
    while (end > begin && (isEdgeSpace(text.at(end - 1)) || text.at(end - 1) == u'\r'))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString PropertyBag::toText() const
{
    QStringList lines;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        lines << escaped(it.key()) + QLatin1Char('=') + escaped(it.value().toString());
    return lines.join(QLatin1Char('\n'));
}

PropertyBag PropertyBag::fromText(const QString &text)
{
    PropertyBag bag;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = separatorOf(line);
        if (eq < 0)
            continue;
        const QString name = unescaped(trimmed(QStringView(line).left(eq)));
        if (!name.isEmpty())
            bag.m_values.insert(name, unescaped(trimmed(QStringView(line).mid(eq + 1))));
    }
    return bag;
}
