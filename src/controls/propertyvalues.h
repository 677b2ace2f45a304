#pragma once
// Checked conversions of stored design-time values to the controls' field
// types. A value may come from code (a number) or from a stored design's text
// ("30", "&HFFC0C0", "True"); anything that does not denote a value of the
// field's type gives nothing, and the caller stops loading there.
#include <QCursor>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace PropertyValues {

// Any integer within -2^63..2^63, from a number or text (decimal, &H hex,
// True = -1, False = 0; a fraction is rounded half to even).
std::optional<qint64> toInteger(const QVariant &v);

std::optional<int32_t> toInt32(const QVariant &v);
std::optional<int16_t> toInt16(const QVariant &v);
std::optional<uint8_t> toUInt8(const QVariant &v);
// A colour is a 32-bit pattern: negative Longs and unsigned values above
// 2^31 name the same colours.
std::optional<uint32_t> toColour(const QVariant &v);
std::optional<bool> toBool(const QVariant &v);

// A mouse icon as stored text: "" for none, "shape:<n>" for a standard
// cursor, "bitmap:<hotX>,<hotY>,<base64 PNG>" for a picture.
QString cursorToText(const std::optional<QCursor> &icon);
// Nothing inside the optional means "no icon"; an empty result means the
// text does not denote an icon.
std::optional<std::optional<QCursor>> cursorFromVariant(const QVariant &v);

} // namespace PropertyValues
