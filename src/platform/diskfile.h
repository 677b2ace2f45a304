#pragma once
// A whole file read into memory. Reading is all or nothing, reads to the end
// of the file whatever size the system reported (files under /proc report
// 0), and never blocks: anything but a regular file is refused before it is
// opened, and again after, should it have been swapped in between.
#include "fileidentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class FileOps;

namespace DiskFile {

// Resizes the caller's buffer to `size` bytes and returns it, keeping its
// first bytes as realloc() does; null when the memory is not to be had (a
// size of 0 may return null as well).
using Resize = std::function<uint8_t *(int64_t size)>;

// Reads the file at `path` (the system's bytes) into the buffer that
// `resize` manages, refusing files longer than `limit`. Returns "" on
// success, with the file's identity from before the first read in
// *identity; else the reason, and the buffer's content means nothing.
QString readWhole(FileOps &ops, const QByteArray &path, int64_t limit, const Resize &resize,
                  FileIdentity *identity);

// The reason given for a file longer than `limit`.
QString tooLarge(int64_t limit);

} // namespace DiskFile
