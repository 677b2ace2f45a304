#include "keyascii.h"

#include "ansi.h"

#include <QKeyEvent>

namespace KeyAscii {

std::optional<int> fromKeyEvent(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    default:
        break;
    }
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return std::nullopt;
    const QString text = event.text();
    if (text.isEmpty())
        return std::nullopt;
    if (text.size() == 1) {
        const QChar c = text.at(0);
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return std::nullopt; // Tab, Delete and other keys that only move or edit
        const auto code = Ansi::fromChar(c);
        return code ? int(*code) : 0;
    }
    return 0; // a character outside the basic plane or a composed sequence
}

} // namespace KeyAscii
