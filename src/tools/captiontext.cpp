#include "captiontext.h"

namespace CaptionText {

namespace {

bool isBidiControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString visible(const QString &caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (const QChar ch : caption) {
        const char16_t c = ch.unicode();
        if (c == u'\n') {
            shown += QLatin1String("\\n");
        } else if (c == u'\r') {
            shown += QLatin1String("\\r");
        } else if (c == u'\t') {
            shown += QLatin1String("\\t");
        } else if (ch.category() == QChar::Other_Control || ch.category() == QChar::Separator_Line
                   || ch.category() == QChar::Separator_Paragraph || isBidiControl(c)) {
            shown += QStringLiteral("<U+%1>").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        } else {
            shown += ch;
        }
    }
    return shown;
}

} // namespace CaptionText
