#include "keycodes.h"

#include "ansi.h"

namespace KeyCodes {

Typed keyAscii(const QKeyEvent *event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Backspace: return {Typed::Code, 8};
    case Qt::Key_Return:
    case Qt::Key_Enter: return {Typed::Code, 13};
    case Qt::Key_Escape: return {Typed::Code, 27};
    default: break;
    }
    const auto mods = event->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return {Typed::Code, key - Qt::Key_A + 1};
    const QString text = event->text();
    if (text.isEmpty() || (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return {};
    // A character outside the Basic Multilingual Plane arrives as a pair of
    // surrogates; the code page has no code for it either way.
    if (text.size() != 1)
        return {Typed::Unmappable, 0};
    if (text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F)
        return {}; // Tab and other control keys do not type into a box
    const auto b = Ansi::fromChar(text.at(0));
    if (!b)
        return {Typed::Unmappable, 0};
    return {Typed::Code, *b};
}

int keyCode(const QKeyEvent *event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_Delete: return 46;
    default: break;
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    return 0;
}

} // namespace KeyCodes
