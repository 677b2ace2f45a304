#pragma once
// Byte <-> character conversion in the editor's single-byte code page.
// We use Windows-1252 on every platform so that a file shows the same
// characters wherever it is opened. The five codes that Windows-1252 leaves
// undefined (81, 8D, 8F, 90, 9D) map to the C1 control with the same value,
// as Windows itself does, so every byte has a character and back.
#include <QChar>
#include <QString>
#include <QByteArray>
#include <cstdint>
#include <optional>

namespace Ansi {

// The character that byte b stands for.
QChar toChar(uint8_t b);

// One-character string for a byte; used wherever a cell or box shows a byte.
QString toString(uint8_t b);

// The code of a character, or nothing when the code page has no code for it.
std::optional<uint8_t> fromChar(QChar c);

// Bytes for a whole string; nothing if any character has no code.
std::optional<QByteArray> fromString(const QString &s);

// The string that a run of bytes stands for.
QString toString(const QByteArray &bytes);

// Upper-case mapping of the code page (a-z, the accented letters, and the
// pairs s/S, oe/OE, z/Z and y-diaeresis/Y-diaeresis with caron or diaeresis).
// Bytes without an upper-case partner in the code page map to themselves.
const uint8_t *upperTable();
inline uint8_t toUpper(uint8_t b) { return upperTable()[b]; }

} // namespace Ansi
