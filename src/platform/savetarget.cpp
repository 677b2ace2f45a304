#include "savetarget.h"

#include "diskfolder.h"
#include "diskname.h"
#include "fileops.h"

#include <cerrno>

namespace SaveTargets {

QByteArray absolute(const QString &name)
{
    const QByteArray bytes = DiskName::toDisk(name);
    if (bytes.isEmpty() || bytes.startsWith('/'))
        return bytes;
    QByteArray folder = DiskName::toDisk(DiskFolder::current());
    if (!folder.endsWith('/'))
        folder += '/';
    return folder + bytes;
}

QString followLinks(FileOps &ops, const QByteArray &path, QByteArray *out)
{
    QByteArray at = path;
    // As many as the system itself follows before it gives up.
    for (int depth = 0; depth < 40; ++depth) {
        FileStatus st;
        if (ops.lstat(at, st) < 0 || !st.isLink()) {
            *out = at;
            return {};
        }
        QByteArray target;
        if (const int r = ops.readlink(at, target); r < 0)
            return FileIo::reason(r);
        at = target.startsWith('/') ? target : FileIo::folderOf(at) + '/' + target;
    }
    return FileIo::reason(-ELOOP);
}

QString resolve(FileOps &ops, const QByteArray &path, SaveTarget *out)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    SaveTarget target;
    if (QString why = followLinks(ops, path, &target.path); !why.isEmpty())
        return why;
    const int looked = ops.lstat(target.path, target.status);
    if (looked < 0 && looked != -ENOENT)
        return FileIo::reason(looked);
    target.exists = looked == 0;
    if (target.exists) {
        if (target.status.isFolder())
            return QStringLiteral("a folder of that name exists");
        if (!target.status.isRegular())
            return QStringLiteral("not a regular file");
        // A file the saver may not write stays as it is, even where the
        // folder would let a rename replace it.
        if (const int r = ops.access(target.path, FileOps::MayWrite); r < 0)
            return FileIo::reason(r);
    }
    const int folder = ops.access(FileIo::folderOf(target.path), FileOps::MayWrite | FileOps::MayEnter);
    if (!target.exists && folder < 0)
        return FileIo::reason(folder);
    if (target.exists && (target.status.links > 1 || folder < 0))
        target.strategy = SaveTarget::OverwriteInPlace;
    *out = target;
    return {};
}

} // namespace SaveTargets
