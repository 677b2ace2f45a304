#pragma once
// Load and save for the buffer, whichever store holds it. A regular file of
// up to ByteStore::kMaxSize bytes is read whole into memory (FileIO); a
// larger one is opened on demand in constant time. A save of a file read on
// demand writes only its changed pages, through savePages.
#include "filebuffer.h"

#include <QString>

namespace BufferFile {

// Replaces `out` with the file at `path` on success. "" on success, else the
// reason. When a save of the file had been interrupted, *notice says what was
// done about it (the file put back, or why it was left alone).
QString load(const QString &path, FileBuffer &out, QString *notice = nullptr);

// Writes the buffer to `path`. "" on success, else the reason.
QString save(const QString &path, FileBuffer &data);

// Writes the changed pages of the file opened from `sourcePath` (as it was
// when opened: `expected`) to `path`, the same file or a new one.
QString savePages(const QString &path, const QString &sourcePath, const PagedFile::Pages &pages,
                  const PagedFile::Identity &expected);

} // namespace BufferFile
