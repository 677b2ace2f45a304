#include "ansi.h"

#include <array>

namespace Ansi {
namespace {

// Unicode code points of 0x80..0x9F; the rest of the page equals Latin-1.
constexpr std::array<char16_t, 32> kHighC1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct UpperTable {
    std::array<uint8_t, 256> map{};
    constexpr UpperTable()
    {
        for (int b = 0; b < 256; ++b)
            map[b] = static_cast<uint8_t>(b);
        for (int b = 'a'; b <= 'z'; ++b)
            map[b] = static_cast<uint8_t>(b - 0x20);
        for (int b = 0xE0; b <= 0xFE; ++b)
            if (b != 0xF7) // the division sign has no capital
                map[b] = static_cast<uint8_t>(b - 0x20);
        map[0x9A] = 0x8A; // s caron
        map[0x9C] = 0x8C; // oe
        map[0x9E] = 0x8E; // z caron
        map[0xFF] = 0x9F; // y diaeresis
    }
};

constexpr UpperTable kUpper;

} // namespace

QChar toChar(uint8_t b)
{
    if (b >= 0x80 && b <= 0x9F)
        return QChar(kHighC1[b - 0x80]);
    return QChar(static_cast<char16_t>(b));
}

QString toString(uint8_t b)
{
    return QString(toChar(b));
}

std::optional<uint8_t> fromChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<uint8_t>(u);
    for (int i = 0; i < 32; ++i)
        if (kHighC1[i] == u)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

std::optional<QByteArray> fromString(const QString &s)
{
    QByteArray out;
    out.reserve(s.size());
    for (QChar c : s) {
        const auto b = fromChar(c);
        if (!b)
            return std::nullopt;
        out.append(static_cast<char>(*b));
    }
    return out;
}

QString toString(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out.append(toChar(static_cast<uint8_t>(c)));
    return out;
}

const uint8_t *upperTable()
{
    return kUpper.map.data();
}

} // namespace Ansi
