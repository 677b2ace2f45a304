#pragma once
// A whole file read into memory, and memory written back as a whole file,
// with names carried as the system's bytes (see diskname.h).
//
// Reading is all or nothing, reads to the end of the file whatever size the
// system reported (files under /proc report 0), and never blocks: anything
// but a regular file is refused before it is opened.
//
// Writing never replaces what is not a regular file and never changes the
// file's identity (see fileattributes.h). As a rule the bytes go to a new file
// beside the target, which takes the target's place by a rename once it is
// complete and flushed; a failure then leaves the old file untouched. Where
// a rename would break the file's identity (a second hard link, an owner the
// saver may not hand out) or the folder admits no new file, the target is
// written in place instead, after a complete, flushed copy of the new
// content has been put beside it (or into the temporary folder): a failure
// part-way then names that copy.
#include <QString>

#include <cstdint>
#include <functional>

class FileOps;

namespace DiskFile {

// Resizes the caller's buffer to `size` bytes and returns it, keeping its
// first bytes as realloc() does; null when the memory is not to be had (a
// size of 0 may return null as well).
using Resize = std::function<uint8_t *(int64_t size)>;

// Reads the file at `path` into the buffer that `resize` manages, refusing
// files longer than `limit`. Returns "" on success, else the reason; after
// a failure the buffer's content means nothing.
QString readWhole(const QString &path, int64_t limit, const Resize &resize, FileOps *ops = nullptr);

// Writes `size` bytes from `data` as the whole content of the file at
// `path` (links followed). Returns "" on success, else the reason.
QString writeWhole(const QString &path, const uint8_t *data, int64_t size, FileOps *ops = nullptr);

} // namespace DiskFile
