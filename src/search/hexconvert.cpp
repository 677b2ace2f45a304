#include "hexconvert.h"

#include "ansi.h"

namespace HexText {
namespace {

int digitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

} // namespace

QString toHexDigits(const QByteArray &bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        out.append(QLatin1Char(kDigits[b >> 4]));
        out.append(QLatin1Char(kDigits[b & 0xF]));
    }
    return out;
}

QString fromHexDigits(const QString &digits)
{
    QString out;
    out.reserve(digits.size() / 2 + 1);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const qsizetype n = qMin<qsizetype>(2, digits.size() - i);
        int value = 0;
        bool valid = true;
        for (qsizetype k = 0; k < n; ++k) {
            const int d = digitValue(digits.at(i + k));
            valid = valid && d >= 0;
            value = value * 16 + d;
        }
        if (valid)
            out.append(Ansi::toChar(static_cast<uint8_t>(value)));
        else
            out.append(digits.mid(i, n));
    }
    return out;
}

bool isHexKey(int keyAscii)
{
    return (keyAscii >= '0' && keyAscii <= '9') || (keyAscii >= 'A' && keyAscii <= 'F')
        || (keyAscii >= 'a' && keyAscii <= 'f') || keyAscii == 8;
}

} // namespace HexText
