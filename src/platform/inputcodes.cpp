#include "inputcodes.h"

#include "ansi.h"

#include <QKeyEvent>

namespace InputCodes {

int16_t buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int16_t buttonsCode(Qt::MouseButtons buttons)
{
    int16_t code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

int16_t shiftState(Qt::KeyboardModifiers modifiers)
{
    int16_t state = 0;
    if (modifiers & Qt::ShiftModifier)
        state |= 1;
    if (modifiers & Qt::ControlModifier)
        state |= 2;
    if (modifiers & Qt::AltModifier)
        state |= 4;
    return state;
}

int16_t keyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<int16_t>(qtKey); // Qt uses the same numbers here
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<int16_t>(112 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

TypedKey typedKey(const QKeyEvent &event)
{
    const int key = event.key();
    switch (key) {
    case Qt::Key_Backspace: return {TypedKey::Code, 8};
    case Qt::Key_Return:
    case Qt::Key_Enter: return {TypedKey::Code, 13};
    case Qt::Key_Escape: return {TypedKey::Code, 27};
    default: break;
    }
    const auto mods = event.modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A && key <= Qt::Key_Z)
        return {TypedKey::Code, key - Qt::Key_A + 1};
    const QString text = event.text();
    if (text.isEmpty() || (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return {};
    // A character outside the Basic Multilingual Plane arrives as a pair of
    // surrogates; the code page has no code for it either way.
    if (text.size() != 1)
        return {TypedKey::Unmappable, 0};
    if (text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F)
        return {}; // Tab, Delete and other keys that move or edit
    const auto b = Ansi::fromChar(text.at(0));
    if (!b)
        return {TypedKey::Unmappable, 0};
    return {TypedKey::Code, *b};
}

QList<TypedKey> typedCharacters(const QString &text)
{
    QList<TypedKey> keys;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            keys.append({TypedKey::Unmappable, 0});
            continue;
        }
        const auto b = Ansi::fromChar(c);
        keys.append(b ? TypedKey{TypedKey::Code, *b} : TypedKey{TypedKey::Unmappable, 0});
    }
    return keys;
}

std::optional<int16_t> keyAscii(const QKeyEvent &event)
{
    const TypedKey typed = typedKey(event);
    if (typed.kind != TypedKey::Code)
        return std::nullopt;
    return static_cast<int16_t>(typed.code);
}

std::optional<Qt::CursorShape> pointerShape(int16_t mousePointer)
{
    switch (mousePointer) {
    case 1: return Qt::ArrowCursor;
    case 2: return Qt::CrossCursor;
    case 3: return Qt::IBeamCursor;
    case 4: return Qt::ArrowCursor; // the "icon" pointer has no Qt counterpart
    case 5: return Qt::SizeAllCursor;
    case 6: return Qt::SizeBDiagCursor;
    case 7: return Qt::SizeVerCursor;
    case 8: return Qt::SizeFDiagCursor;
    case 9: return Qt::SizeHorCursor;
    case 10: return Qt::UpArrowCursor;
    case 11: return Qt::WaitCursor;
    case 12: return Qt::ForbiddenCursor;
    case 13: return Qt::BusyCursor;
    case 14: return Qt::WhatsThisCursor;
    case 15: return Qt::SizeAllCursor;
    default: return std::nullopt;
    }
}

} // namespace InputCodes
