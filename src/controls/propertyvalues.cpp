#include "propertyvalues.h"

#include "numeric.h"

#include <QBuffer>
#include <QPixmap>
#include <limits>

namespace PropertyValues {

namespace {

template <typename T>
std::optional<T> narrowed(const QVariant &v)
{
    const auto wide = toInteger(v);
    if (!wide || *wide < std::numeric_limits<T>::min() || *wide > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(*wide);
}

std::optional<qint64> fromDouble(double d)
{
    return Numeric::toIntChecked<qint64>(d);
}

} // namespace

std::optional<qint64> toInteger(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? -1 : 0;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return v.toLongLong();
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong u = v.toULongLong();
        if (u > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(u);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(v.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        break;
    default:
        return std::nullopt;
    }

    const QString text = v.toString().trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return -1;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return 0;
    bool ok = false;
    if (text.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        QString digits = text.mid(2);
        if (digits.endsWith(QLatin1Char('&')))
            digits.chop(1);
        const qulonglong u = digits.toULongLong(&ok, 16);
        if (!ok || digits.isEmpty() || u > 0xFFFFFFFFull)
            return std::nullopt;
        return qint64(u);
    }
    const qint64 n = text.toLongLong(&ok, 10);
    if (ok)
        return n;
    const double d = text.toDouble(&ok);
    if (ok)
        return fromDouble(d);
    return std::nullopt;
}

std::optional<int32_t> toInt32(const QVariant &v) { return narrowed<int32_t>(v); }
std::optional<int16_t> toInt16(const QVariant &v) { return narrowed<int16_t>(v); }
std::optional<uint8_t> toUInt8(const QVariant &v) { return narrowed<uint8_t>(v); }

std::optional<uint32_t> toColour(const QVariant &v)
{
    const auto wide = toInteger(v);
    if (!wide || *wide < std::numeric_limits<int32_t>::min()
        || *wide > qint64(std::numeric_limits<uint32_t>::max()))
        return std::nullopt;
    return static_cast<uint32_t>(*wide);
}

std::optional<bool> toBool(const QVariant &v)
{
    const auto n = toInteger(v);
    if (!n)
        return std::nullopt;
    return *n != 0;
}

QString cursorToText(const std::optional<QCursor> &icon)
{
    if (!icon)
        return QString();
    if (icon->shape() != Qt::BitmapCursor)
        return QStringLiteral("shape:%1").arg(int(icon->shape()));
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !icon->pixmap().save(&buffer, "PNG"))
        return QString();
    return QStringLiteral("bitmap:%1,%2,%3")
        .arg(icon->hotSpot().x())
        .arg(icon->hotSpot().y())
        .arg(QString::fromLatin1(png.toBase64()));
}

std::optional<std::optional<QCursor>> cursorFromVariant(const QVariant &v)
{
    if (v.typeId() == QMetaType::QCursor)
        return std::optional<QCursor>(v.value<QCursor>());
    if (v.typeId() != QMetaType::QString && v.isValid())
        return std::nullopt;

    const QString text = v.toString().trimmed();
    if (text.isEmpty())
        return std::optional<QCursor>();
    if (text.startsWith(QLatin1String("shape:"))) {
        bool ok = false;
        const int shape = text.mid(6).toInt(&ok);
        if (!ok || shape < 0 || shape > Qt::LastCursor || shape == Qt::BitmapCursor)
            return std::nullopt;
        return std::optional<QCursor>(QCursor(static_cast<Qt::CursorShape>(shape)));
    }
    if (text.startsWith(QLatin1String("bitmap:"))) {
        const QStringList parts = text.mid(7).split(QLatin1Char(','));
        if (parts.size() != 3)
            return std::nullopt;
        bool okX = false;
        bool okY = false;
        const int x = parts[0].toInt(&okX);
        const int y = parts[1].toInt(&okY);
        QPixmap pixmap;
        if (!okX || !okY
            || !pixmap.loadFromData(QByteArray::fromBase64(parts[2].toLatin1()), "PNG"))
            return std::nullopt;
        return std::optional<QCursor>(QCursor(pixmap, x, y));
    }
    return std::nullopt;
}

} // namespace PropertyValues
