#pragma once
// Turns Qt key events into the codes the editor's handlers work with, in one
// place: the character code a key types (its Windows-1252 code; Backspace 8,
// Enter 13, Escape 27, Ctrl+letter 1 to 26) and the virtual key code of a
// key (arrows 37 to 40, Page Up 33, Page Down 34, letters and digits as their
// upper-case ASCII codes).
#include <QKeyEvent>

namespace KeyCodes {

struct Typed {
    enum Kind { None, Code, Unmappable };
    Kind kind = None; // None: the key types no character (an arrow, Shift...)
    int code = 0;     // the character code when kind is Code
};

Typed keyAscii(const QKeyEvent *event);
int keyCode(const QKeyEvent *event);

} // namespace KeyCodes
