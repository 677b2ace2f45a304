#pragma once
// What a drop onto the main window would open: exactly one local file. Kept
// apart from the window so that the rule can be checked without one.
#include <QString>
#include <optional>

class QMimeData;

namespace DroppedFile {

// The local file the drop carries, or nothing for every other drop: several
// files, a remote address, plain text, a folder.
std::optional<QString> localFile(const QMimeData *data);

} // namespace DroppedFile
