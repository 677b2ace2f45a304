#pragma once
// Where a save lands and how it gets there, decided once for every save,
// whatever holds the bytes. The name is made absolute, symbolic links are
// followed to the file they end at (the links stay as they are), and only a
// regular file this user may write is a target. A file is replaced by a new
// one through a rename as a rule; it is overwritten in place where a rename
// would break it: a second hard link, or a folder that admits no new file
// (a rename that would lose its owner or attributes is found out during
// the save, see FileSave).
#include "fileidentity.h"

#include <QByteArray>
#include <QString>

class FileOps;

struct SaveTarget {
    enum Strategy { ReplaceByRename, OverwriteInPlace };
    QByteArray path; // absolute, links followed: the file that is written
    bool exists = false;
    FileStatus status; // of `path`, when it exists
    Strategy strategy = ReplaceByRename;
};

namespace SaveTargets {

// `name` (as the program carries it) made absolute against the working
// folder as it is now; "" for "".
QByteArray absolute(const QString &name);

// The name a chain of symbolic links ends at, the file there existing or
// not. "" on success, else the reason (a loop, an unreadable link).
QString followLinks(FileOps &ops, const QByteArray &path, QByteArray *out);

// Decides where and how a save to `path` (absolute) goes. "" on success,
// else the reason it cannot go there at all.
QString resolve(FileOps &ops, const QByteArray &path, SaveTarget *out);

} // namespace SaveTargets
