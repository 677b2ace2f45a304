#pragma once
// How a window's caption is shown in a list row: as the window gives it,
// except for the characters that would let one caption pose as another.
#include <QString>

namespace CaptionText {

// The caption on one row, every character readable as itself: line breaks,
// tabs and other control characters, line and paragraph separators, and the
// bidirectional controls (which could make "exe.txt" read "txt.exe") are
// shown as escapes: "\n", "\r", "\t", or "<U+202E>" for the rest.
QString visible(const QString &caption);

} // namespace CaptionText
