#include "fileattributes.h"

#include "fileops.h"

#include <QByteArray>
#include <QList>

#include <cerrno>

namespace FileAttributes {
namespace {

bool copyOwner(FileOps &ops, const FileStatus &from, int to)
{
    FileStatus now;
    if (ops.fstat(to, now) < 0)
        return false;
    if (now.owner == from.owner && now.group == from.group)
        return true;
    if (ops.fchown(to, from.owner, from.group) == 0)
        return true;
    // An ordinary user keeps at least the group, when it is one of theirs.
    ops.fchown(to, uint32_t(-1), from.group);
    return false;
}

// Grows `buffer` until the call fits: attributes may change size between
// asking for the size and reading them. The call's result, or its error.
template<typename Call>
int64_t readSized(QByteArray &buffer, Call call)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int64_t n = call(buffer.data(), int64_t(buffer.size()));
        if (n >= 0) {
            buffer.truncate(qsizetype(n));
            return n;
        }
        if (n != -ERANGE)
            return n;
        const int64_t needed = call(nullptr, 0);
        if (needed < 0)
            return needed;
        buffer.resize(qsizetype(needed) + 256);
    }
    return -ERANGE;
}

// The attribute names of an open file; false when they cannot be listed
// (a file system without attributes lists none).
bool names(FileOps &ops, int fd, QList<QByteArray> &out)
{
    QByteArray list(1024, Qt::Uninitialized);
    const int64_t r = readSized(list, [&](char *data, int64_t size) { return ops.flistxattr(fd, data, size); });
    out.clear();
    if (r == -ENOTSUP || r == -EOPNOTSUPP)
        return true;
    if (r < 0)
        return false;
    for (const QByteArray &name : list.split('\0')) {
        if (!name.isEmpty())
            out.append(name);
    }
    return true;
}

bool copyAttributes(FileOps &ops, int from, int to)
{
    QList<QByteArray> wanted, present;
    if (!names(ops, from, wanted) || !names(ops, to, present))
        return false;
    bool kept = true;
    for (const QByteArray &name : present) {
        if (!wanted.contains(name) && ops.fremovexattr(to, name.constData()) < 0)
            kept = false;
    }
    for (const QByteArray &name : wanted) {
        QByteArray value(256, Qt::Uninitialized);
        const int64_t r = readSized(value, [&](char *data, int64_t size) {
            return ops.fgetxattr(from, name.constData(), data, size);
        });
        if (r == -ENODATA)
            continue; // removed since it was listed
        if (r < 0 || ops.fsetxattr(to, name.constData(), value.constData(), value.size()) < 0)
            kept = false;
    }
    return kept;
}

} // namespace

bool copy(FileOps &ops, int from, const FileStatus &fromStatus, int to)
{
    bool kept = copyOwner(ops, fromStatus, to);
    kept = copyAttributes(ops, from, to) && kept;
    const uint32_t mode = fromStatus.permissions();
    FileStatus now;
    // The system may drop setgid silently for a group that is not the saver's.
    kept = ops.fchmod(to, mode) == 0 && ops.fstat(to, now) == 0 && now.permissions() == mode && kept;
    return kept;
}

} // namespace FileAttributes
