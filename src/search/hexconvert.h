#pragma once
// The find box's two spellings of a search: as characters, and as pairs of
// hexadecimal digits. Counts are 32-bit throughout.
#include <QByteArray>
#include <QString>

namespace HexText {

// Each byte as exactly two upper-case digits: "Az" (41 7A) gives "417A".
QString toHexDigits(const QByteArray &bytes);

// The text cut into pieces of two characters from the start (a last odd
// character is a piece of its own); a piece that reads as a hexadecimal number
// (either case) becomes the character of that code, any other piece is kept
// as it stands, so pasted text survives the round trip instead of turning
// into made-up bytes. "417a" gives "Az", "414" gives "A" and code 4.
QString fromHexDigits(const QString &digits);

// Whether KeyAscii may be typed while the box holds hexadecimal digits:
// 0-9, A-F, a-f and Backspace.
bool isHexKey(int keyAscii);

} // namespace HexText
