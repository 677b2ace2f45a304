#include "diskname.h"

namespace DiskName {
namespace {

constexpr char16_t kEscapeBase = 0xDC00; // byte b travels as U+DC00 + b, b >= 0x80

bool isEscape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at `s`, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
int validSequence(const unsigned char *s, qsizetype left, char32_t &codePoint)
{
    const unsigned char b = s[0];
    int length;
    char32_t min;
    if (b < 0x80) {
        codePoint = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2, min = 0x80, codePoint = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, min = 0x800, codePoint = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, min = 0x10000, codePoint = b & 0x07;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (s[i] & 0x3F);
    }
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString fromDisk(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int length = validSequence(s + i, bytes.size() - i, c);
        if (length == 0) {
            name += QChar(char16_t(kEscapeBase + s[i]));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            name += QChar(QChar::highSurrogate(c));
            name += QChar(QChar::lowSurrogate(c));
        } else {
            name += QChar(char16_t(c));
        }
        i += length;
    }
    return name;
}

QByteArray toDisk(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(c, name.at(i + 1).unicode()));
            ++i;
        } else if (isEscape(c)) {
            out += char(c - kEscapeBase);
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(out, QChar::ReplacementCharacter); // never made by fromDisk()
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

QString forDisplay(QStringView name)
{
    QString shown = name.toString();
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const bool paired = i > 0 && shown.at(i - 1).isHighSurrogate();
        if (isEscape(shown.at(i).unicode()) && !paired)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

} // namespace DiskName
