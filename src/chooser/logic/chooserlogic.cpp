#include "chooserlogic.h"

#include "diskfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace ChooserLogic {

namespace {

#if defined(Q_OS_WIN)
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

bool isDriveLetterPath(const QString &path)
{
    return path.size() >= 2 && path.at(0).isLetter() && path.at(0).unicode() < 128
           && path.at(1) == u':';
}

bool isAbsolute(const QString &path)
{
    return path.startsWith(u'/') || (isDriveLetterPath(path) && path.size() >= 3 && path.at(2) == u'/');
}

bool samePath(const QString &a, const QString &b)
{
    return a.compare(b, kPathCase) == 0;
}

// Kernel, device and container file systems: nothing a user opens a file from.
const QSet<QByteArray> &hiddenFileSystems()
{
    static const QSet<QByteArray> types{
        "proc",      "sysfs",     "devtmpfs",     "devpts",     "cgroup",   "cgroup2",
        "securityfs", "pstore",   "debugfs",      "tracefs",    "configfs", "fusectl",
        "mqueue",    "hugetlbfs", "bpf",          "binfmt_misc", "autofs",  "efivarfs",
        "rpc_pipefs", "nsfs",     "ramfs",        "squashfs",   "selinuxfs", "nfsd",
        "overlay",   "aufs",      "fuse.snapfuse", "fuse.gvfsd-fuse", "fuse.portal",
        "fuse.lxcfs"};
    return types;
}

// Mount points below these hold system plumbing even when their file system
// type looks ordinary (bind mounts, per-user runtime folders, snaps).
bool isUnderSystemFolder(const QString &root)
{
    if (isInside(root, QStringLiteral("/run/media")))
        return false;
    static const QStringList folders{
        QStringLiteral("/proc"),         QStringLiteral("/sys"),
        QStringLiteral("/dev"),          QStringLiteral("/run"),
        QStringLiteral("/snap"),         QStringLiteral("/var/snap"),
        QStringLiteral("/var/lib/docker"), QStringLiteral("/var/lib/containers"),
        QStringLiteral("/var/lib/kubelet")};
    return std::any_of(folders.begin(), folders.end(),
                       [&](const QString &folder) { return isInside(root, folder); });
}

bool globMatch(QStringView name, QStringView pattern)
{
    // Iterative '*' matching with one back-track point: linear for the
    // patterns a filter box holds, and no recursion on hostile input.
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size()
                   && (pattern.at(p) == u'?'
                       || pattern.at(p).toCaseFolded() == name.at(n).toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool isBrowsableVolume(const VolumeInfo &volume)
{
    const QString root = normalFolder(volume.rootPath);
    if (root.isEmpty())
        return false;
    if (root == u"/" || isDriveLetterPath(root) || root.startsWith(u"//"))
        return true;
    if (volume.fileSystemType == "tmpfs")
        return root == u"/tmp";
    if (hiddenFileSystems().contains(volume.fileSystemType))
        return false;
    return !isUnderSystemFolder(root);
}

QList<Drive> browsableDrives(const QList<VolumeInfo> &volumes)
{
    QList<Drive> drives;
    for (const VolumeInfo &volume : volumes) {
        if (!isBrowsableVolume(volume))
            continue;
        const QString root = normalFolder(volume.rootPath);
        const bool known = std::any_of(drives.begin(), drives.end(),
                                       [&](const Drive &d) { return samePath(d.root, root); });
        if (known)
            continue;
        QString label = QDir::toNativeSeparators(root);
        if (!volume.name.isEmpty())
            label += QStringLiteral(" [%1]").arg(volume.name);
        drives.append({root, label});
    }
    std::stable_sort(drives.begin(), drives.end(), [](const Drive &a, const Drive &b) {
        return a.root.compare(b.root, Qt::CaseInsensitive) < 0;
    });
    return drives;
}

QList<Drive> mountedDrives()
{
    QList<VolumeInfo> volumes;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &info : mounted) {
        // Containers bind-mount single files (/etc/hosts); only folders are drives.
        if (!info.isValid() || !QFileInfo(info.rootPath()).isDir())
            continue;
        volumes.append({info.rootPath(), info.fileSystemType(), info.name()});
    }
    QList<Drive> drives = browsableDrives(volumes);
#if !defined(Q_OS_WIN)
    if (drives.isEmpty() || drives.first().root != u"/")
        drives.prepend({QStringLiteral("/"), QStringLiteral("/")});
#endif
    return drives;
}

bool isRootPath(const QString &path)
{
    if (path == u"/")
        return true;
    if (isDriveLetterPath(path) && path.size() == 3 && path.at(2) == u'/')
        return true;
    if (path.startsWith(u"//")) {
        QString rest = path.mid(2);
        if (rest.endsWith(u'/'))
            rest.chop(1);
        return rest.count(u'/') <= 1;
    }
    return false;
}

QString parentFolder(const QString &path)
{
    if (path.isEmpty() || isRootPath(path))
        return QString();
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    if (slash == 2 && isDriveLetterPath(path))
        return path.left(3);
    return path.left(slash);
}

QString normalFolder(const QString &path, const QString &base)
{
    QString p = QDir::fromNativeSeparators(path);
    if (p.isEmpty())
        return QString();
    if (!isAbsolute(p)) {
        if (isDriveLetterPath(p)) {
            p.insert(2, u'/'); // "D:" and "D:x" are taken from the drive's root
        } else {
            const QString from = base.isEmpty() ? DiskFolder::current() : QDir::fromNativeSeparators(base);
            if (!isAbsolute(from))
                return QString();
            p = from + u'/' + p;
        }
    }
    // The names below the root, with "." dropped and ".." taking one back;
    // ".." above a root stays at the root.
    const QString root = pathRoot(p);
    QStringList parts;
    for (const QString &part : p.mid(root.size()).split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (part != u".") {
            parts.append(part);
        }
    }
    if (parts.isEmpty())
        return root;
    return (root.endsWith(u'/') ? root : root + u'/') + parts.join(u'/');
}

bool isInside(const QString &path, const QString &folder)
{
    if (folder.isEmpty() || path.isEmpty())
        return false;
    if (samePath(path, folder))
        return true;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    return path.startsWith(prefix, kPathCase);
}

QString pathRoot(const QString &path)
{
    if (path.startsWith(u"//")) {
        const qsizetype afterServer = path.indexOf(u'/', 2);
        if (afterServer < 0)
            return path;
        const qsizetype afterShare = path.indexOf(u'/', afterServer + 1);
        return afterShare < 0 ? path : path.left(afterShare);
    }
    if (isDriveLetterPath(path))
        return path.left(2) + u'/';
    return QStringLiteral("/");
}

QString driveOf(const QString &path, const QStringList &roots)
{
    QString best;
    for (const QString &root : roots) {
        if (isInside(path, root) && root.size() > best.size())
            best = root;
    }
    return best.isEmpty() ? pathRoot(path) : best;
}

QList<FolderRow> folderRows(const QString &root, const QString &shown,
                            const QStringList &subFolders)
{
    const QString top = isInside(shown, root) ? root : pathRoot(shown);
    QList<FolderRow> rows;
    rows.append({top, QDir::toNativeSeparators(top), 0, true});

    QString path = top;
    const QStringList parts = shown.mid(top.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        path = path.endsWith(u'/') ? path + part : path + u'/' + part;
        rows.append({path, part, int(rows.size()), true});
    }

    QStringList names = subFolders;
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    const int depth = int(rows.size());
    for (const QString &name : names) {
        const QString child = path.endsWith(u'/') ? path + name : path + u'/' + name;
        rows.append({child, name, depth, false});
    }
    return rows;
}

namespace {

// A filter split once, so that a folder of many names does not re-parse it.
struct CompiledPattern {
    bool all = false;
    QStringList globs;
    QStringList suffixes; // "*.exe" and the like, matched by an ending alone
};

CompiledPattern compilePattern(const QString &pattern)
{
    CompiledPattern compiled;
    const QStringList parts = pattern.split(u';', Qt::SkipEmptyParts);
    for (const QString &raw : parts) {
        const QString p = raw.trimmed();
        if (p.isEmpty())
            continue;
        // The old convention: "*.*" means every file, dot or no dot.
        if (p == u"*.*" || p == u"*") {
            compiled.all = true;
            return compiled;
        }
        const QStringView rest = QStringView(p).mid(1);
        if (p.startsWith(u'*') && !rest.contains(u'*') && !rest.contains(u'?'))
            compiled.suffixes.append(rest.toString());
        else
            compiled.globs.append(p);
    }
    // A blank filter filters nothing out.
    compiled.all = compiled.globs.isEmpty() && compiled.suffixes.isEmpty();
    return compiled;
}

bool matchesCompiled(const QString &fileName, const CompiledPattern &compiled)
{
    if (compiled.all)
        return true;
    for (const QString &suffix : compiled.suffixes) {
        if (fileName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    for (const QString &glob : compiled.globs) {
        if (globMatch(fileName, glob))
            return true;
    }
    return false;
}

} // namespace

bool matchesPattern(const QString &fileName, const QString &pattern)
{
    return matchesCompiled(fileName, compilePattern(pattern));
}

QStringList filterNames(const QStringList &fileNames, const QString &pattern)
{
    const CompiledPattern compiled = compilePattern(pattern);
    if (compiled.all)
        return fileNames;
    QStringList kept;
    for (const QString &name : fileNames) {
        if (matchesCompiled(name, compiled))
            kept.append(name);
    }
    return kept;
}

QString nearestReadableFolder(const QString &path, const QString &stopAt,
                              const std::function<bool(const QString &)> &isReadable)
{
    // Every step shortens the path, so the walk ends at a root at the latest.
    for (QString p = path; !p.isEmpty(); p = parentFolder(p)) {
        if (isReadable(p))
            return p;
        if (!stopAt.isEmpty() && samePath(p, stopAt))
            break;
    }
    return QString();
}

bool isReadableFolder(const QString &path)
{
    return DiskFolder::isReadable(path);
}

} // namespace ChooserLogic
