#pragma once
// Reading a whole file into a new ByteStore and writing one back.
// A load either delivers every byte of the file or leaves nothing behind; a
// save leaves on disk either exactly the buffer or the old file untouched.
#include "bytestore.h"

#include <QString>

namespace FileIO {

// Reads the whole file at `path` into `out` (replaced only on success).
// Opens for reading only, so a load never creates or changes a file. Fails
// for a file that cannot be opened or read, that is not a regular file, or
// whose length does not fit signed 32-bit indices. Returns "" on success,
// else the reason.
QString load(const QString &path, ByteStore &out);

// Writes every byte of `data` to `path` through a temporary file beside it,
// which replaces the target only once it is complete and flushed to disk.
// An existing file keeps its permissions and ends with exactly the buffer's
// length. Returns "" on success, else the reason.
QString save(const QString &path, const ByteStore &data);

} // namespace FileIO
