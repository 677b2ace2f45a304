#pragma once
// The toolkit codes the controls hand to their hosts, and the one place where
// Qt's buttons, modifiers, keys and cursors are translated into them:
// buttons 1 left, 2 right, 4 middle; shift state bits 1 Shift, 2 Ctrl, 4 Alt;
// key codes are the virtual-key numbers (33 Page Up, 34 Page Down, 38 Up,
// 40 Down, letters and digits as their upper-case characters...), 0 for a
// key with no such number.
#include <QCursor>
#include <QList>
#include <Qt>
#include <cstdint>
#include <optional>

class QKeyEvent;

namespace InputCodes {

int16_t buttonCode(Qt::MouseButton button);
// The buttons held during a move, as a sum of button codes.
int16_t buttonsCode(Qt::MouseButtons buttons);
int16_t shiftState(Qt::KeyboardModifiers modifiers);
int16_t keyCode(int qtKey);
// The character a key press types, as a KeyPress handler sees it: its
// Windows-1252 code; Backspace 8, Enter 13, Escape 27 and Ctrl+letter 1 to 26.
struct TypedKey {
    enum Kind {
        None,       // the key types no character (an arrow, Shift, Tab, F1...)
        Code,       // `code` is the character's code
        Unmappable, // a character the code page has no code for
    };
    Kind kind = None;
    int code = 0;
};
TypedKey typedKey(const QKeyEvent &event);

// The characters of text that reaches a box other than as key presses (an
// input method's commit, a paste, a drop), one TypedKey each, in order, as
// if each had been typed: its code, or Unmappable. Characters outside the
// Basic Multilingual Plane count as one.
QList<TypedKey> typedCharacters(const QString &text);

// The code of a typed key, or nothing when it types no character that the
// code page can hold.
std::optional<int16_t> keyAscii(const QKeyEvent &event);

// Mouse-pointer codes: 0 the default pointer, 1 arrow, 2 cross, 3 I-beam,
// 5 and 15 size-all, 6..9 the four sizing arrows, 10 up arrow, 11 hourglass,
// 12 no-drop, 13 arrow with hourglass, 14 arrow with question mark, and
// 99 the control's own MouseIcon. 0, 99 and unknown codes give nothing here.
constexpr int16_t kCustomPointer = 99;
std::optional<Qt::CursorShape> pointerShape(int16_t mousePointer);

} // namespace InputCodes
