#pragma once
// The file chooser's rules that need no window: which mounted volumes count as
// "drives", how the folder list is built from a volume's root down to the shown
// folder, which file names a pattern lets through, and how to get back to a
// folder that can still be read. Paths here are absolute and use '/' only;
// nothing in this file touches the disk except the functions that say so.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace ChooserLogic {

// One mounted volume as the system reports it.
struct VolumeInfo {
    QString rootPath;
    QByteArray fileSystemType;
    QString name;
};

// A volume offered in the drive list.
struct Drive {
    QString root;  // "/" , "/media/usb", "C:/"
    QString label; // what the drive list shows

    bool operator==(const Drive &other) const = default;
};

// One row of the folder list.
struct FolderRow {
    QString path;  // absolute, '/' separators
    QString label; // the root in native form, otherwise the folder's own name
    int depth = 0; // indentation level; the root is 0
    bool open = false; // on the way from the root to the shown folder (inclusive)

    bool operator==(const FolderRow &other) const = default;
};

// True for a volume that a user browses; false for kernel and container
// plumbing (proc, sysfs, cgroups, snaps, mounts under /run and so on).
// The file system root is always browsable.
bool isBrowsableVolume(const VolumeInfo &volume);

// The browsable volumes as drive list entries: duplicates dropped, sorted by
// root so that the file system root ("/") comes first.
QList<Drive> browsableDrives(const QList<VolumeInfo> &volumes);

// The volumes mounted now, as browsableDrives() sees them. Reads the system.
QList<Drive> mountedDrives();

// "/" , "C:/" and "//server/share" are roots: they have no parent.
bool isRootPath(const QString &path);

// The parent folder of an absolute path, or "" for a root.
QString parentFolder(const QString &path);

// Absolute form with '/' separators, no "." or "..", no trailing '/' except on
// a root; the same path again for a path in this form. A relative path is
// taken against `base`, or the working directory when `base` is "".
QString normalFolder(const QString &path, const QString &base = QString());

// True when `path` is `folder` itself or lies inside it.
bool isInside(const QString &path, const QString &folder);

// The drive (from `roots`) that holds `path`: the longest root containing it.
// When none does, the path's own root.
QString driveOf(const QString &path, const QStringList &roots);

// The top of a path: "/", "C:/" or "//server/share".
QString pathRoot(const QString &path);

// The folder list for `shown` on the volume `root`: the root, each folder
// down to `shown`, then `subFolders` (names) one level deeper, sorted without
// regard to case.
QList<FolderRow> folderRows(const QString &root, const QString &shown,
                            const QStringList &subFolders);

// True when `fileName` matches `pattern`: '*' and '?' wildcards, case does not
// count, several patterns may be separated by ';'. "*.*" and "*" match every
// name, with or without a dot.
bool matchesPattern(const QString &fileName, const QString &pattern);

// The names among `fileNames` that match `pattern`, in their given order.
QStringList filterNames(const QStringList &fileNames, const QString &pattern);

// `path` if it is readable, else the nearest readable folder above it, never
// climbing above `stopAt` (pass "" to climb to the root). "" when none is.
QString nearestReadableFolder(const QString &path, const QString &stopAt,
                              const std::function<bool(const QString &)> &isReadable);

// An existing folder that this process may list and enter. Reads the system.
bool isReadableFolder(const QString &path);

} // namespace ChooserLogic
