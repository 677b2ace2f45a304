#pragma once
// Reading a whole file into a new ByteStore and writing one back.
// A load either delivers every byte of the file or leaves nothing behind; a
// save leaves on disk either exactly the buffer or the old file untouched
// (or, when the file had to be written in place, a named copy of the buffer).
// Names are carried as the system's bytes (see diskname.h).
#include "bytestore.h"

#include <QString>

namespace FileIO {

// Reads the whole file at `path` into `out` (replaced only on success), up
// to its end whatever size the system reports. Opens for reading only, so a
// load never creates or changes a file. Fails for a file that cannot be
// opened or read, that is not a regular file, or whose length does not fit
// signed 32-bit indices. Returns "" on success, else the reason.
QString load(const QString &path, ByteStore &out);

// Writes every byte of `data` as the whole content of `path`, keeping the
// file's identity (owner, mode, links, attributes); anything but a regular
// file is refused. See DiskFile::writeWhole for how. Returns "" on success,
// else the reason.
QString save(const QString &path, const ByteStore &data);

} // namespace FileIO
