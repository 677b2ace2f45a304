#pragma once
// The one place where a Qt key press becomes the code that a KeyPress
// handler sees (and may set to 0 to discard the key).
#include <optional>

class QKeyEvent;

namespace KeyAscii {

// The code of the character the key types: Backspace 8, Enter 13, Escape 27,
// a printable character its Windows-1252 code, or 0 for a character the code
// page has no code for (it cannot stand for a byte, so it is discarded).
// Nothing for keys that type no character and are never filtered: movement,
// Delete, Tab, function keys and Ctrl/Alt shortcuts such as paste or the
// dialog's access keys.
std::optional<int> fromKeyEvent(const QKeyEvent &event);

} // namespace KeyAscii
