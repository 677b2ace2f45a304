#include "fileattributes.h"

#include "fileops.h"

#include <QByteArray>
#include <QList>

#include <cerrno>

namespace FileAttributes {
namespace {

bool copyOwner(FileOps &ops, const struct stat &from, int to)
{
    struct stat now;
    if (ops.fstat(to, &now) != 0)
        return false;
    if (now.st_uid == from.st_uid && now.st_gid == from.st_gid)
        return true;
    if (ops.fchown(to, from.st_uid, from.st_gid) == 0)
        return true;
    // An ordinary user keeps at least the group, when it is one of theirs.
    ops.fchown(to, uid_t(-1), from.st_gid);
    return false;
}

// Grows `buffer` until the call fits: attributes may change size between
// asking for the size and reading them.
template<typename Call>
bool readSized(QByteArray &buffer, Call call)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t n = call(buffer.data(), size_t(buffer.size()));
        if (n >= 0) {
            buffer.truncate(n);
            return true;
        }
        if (errno != ERANGE)
            return false;
        const ssize_t needed = call(nullptr, 0);
        if (needed < 0)
            return false;
        buffer.resize(qsizetype(needed) + 256);
    }
    return false;
}

bool copyAttributes(FileOps &ops, const char *fromPath, int to)
{
    QByteArray names(1024, Qt::Uninitialized);
    const bool listed = readSized(names, [&](char *data, size_t size) {
        return ops.listxattr(fromPath, data, size);
    });
    if (!listed)
        return errno == ENOTSUP; // a file system without attributes has none to keep
    bool kept = true;
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(256, Qt::Uninitialized);
        const bool read = readSized(value, [&](char *data, size_t size) {
            return ops.getxattr(fromPath, name.constData(), data, size);
        });
        if (!read) {
            kept = kept && errno == ENODATA; // removed since it was listed
            continue;
        }
        if (ops.fsetxattr(to, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            kept = false;
    }
    return kept;
}

} // namespace

bool copy(FileOps &ops, const char *fromPath, const struct stat &from, int to)
{
    bool kept = copyOwner(ops, from, to);
    kept = copyAttributes(ops, fromPath, to) && kept;
    const mode_t mode = from.st_mode & 07777;
    struct stat now;
    // The system may drop setgid silently for a group that is not the saver's.
    kept = ops.fchmod(to, mode) == 0 && ops.fstat(to, &now) == 0 && (now.st_mode & 07777) == mode && kept;
    return kept;
}

} // namespace FileAttributes
