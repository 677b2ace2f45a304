#include "diskfile.h"

#include "diskname.h"
#include "fileattributes.h"
#include "fileops.h"
#include "systemreason.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace DiskFile {
namespace {

// Kernels cap one read or write near 2 GiB; stay well below.
constexpr int64_t kChunk = int64_t(1) << 30;
constexpr size_t kProbe = 64 * 1024;

QString tooLarge(int64_t limit)
{
    if (limit + 1 == int64_t(1) << 31)
        return QStringLiteral("larger than 2 GiB");
    return QStringLiteral("larger than %1 bytes").arg(limit);
}

// Closes on every way out of a scope.
class FdGuard
{
public:
    FdGuard(FileOps &ops, int fd) : m_ops(ops), m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            m_ops.close(m_fd);
    }
    int get() const { return m_fd; }
    // Closes now and reports the result: a delayed write error shows here.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return m_ops.close(fd) == 0;
    }

private:
    FileOps &m_ops;
    int m_fd;
};

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray baseOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// The file a chain of symbolic links ends at, existing or not: the save
// replaces that file and leaves the links as they are.
QByteArray followLinks(QByteArray path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size())
            return path;
        target.truncate(n);
        path = target.startsWith('/') || !path.contains('/') ? target : folderOf(path) + '/' + target;
    }
    return path;
}

// A new, empty file of a fresh name in `folder`, open for writing.
int createUnique(FileOps &ops, const QByteArray &folder, const QByteArray &stem, mode_t mode,
                 QByteArray &created)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = folder + '/' + stem + '.';
        for (int i = 0; i < 6; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        const int fd = ops.open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            created = name;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Writes every byte at the start of `fd`. Returns 0 or the error number.
int writeAll(FileOps &ops, int fd, const uint8_t *data, int64_t size)
{
    for (int64_t done = 0; done < size;) {
        const ssize_t n = ops.pwrite(fd, data + done, size_t(std::min(kChunk, size - done)), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

// Writes and flushes a new file: the replacement, or the copy that stands
// by while the target is overwritten. Returns 0 or the error number.
int fillAndFlush(FileOps &ops, int fd, const uint8_t *data, int64_t size)
{
    if (const int error = writeAll(ops, fd, data, size))
        return error;
    return ops.fsync(fd) == 0 ? 0 : errno;
}

// Overwrites `target` from its first byte, cuts it to `size` and flushes.
// Returns 0 or the error number.
int overwrite(FileOps &ops, const QByteArray &target, const uint8_t *data, int64_t size)
{
    FdGuard fd(ops, ops.open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return errno;
    if (const int error = writeAll(ops, fd.get(), data, size))
        return error;
    if (ops.ftruncate(fd.get(), off_t(size)) != 0 || ops.fsync(fd.get()) != 0 || !fd.close())
        return errno;
    return 0;
}

// The rename is on disk only once its folder is flushed. A file system that
// cannot flush a folder has still renamed the file, so this is not a failure.
void flushFolder(FileOps &ops, const QByteArray &folder)
{
    FdGuard fd(ops, ops.open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ops.fsync(fd.get());
}

QByteArray userTempFolder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? QByteArray(tmp) : QByteArrayLiteral("/tmp");
}

// Overwrites the target once `copy` holds the new content, flushed.
QString overwriteFromCopy(FileOps &ops, const QByteArray &target, const QByteArray &copy,
                          const uint8_t *data, int64_t size)
{
    if (const int failed = overwrite(ops, target, data, size)) {
        return QStringLiteral("%1; the new content is kept in %2")
            .arg(systemReason(failed), DiskName::forDisplay(DiskName::fromDisk(copy)));
    }
    ops.unlink(copy.constData());
    return {};
}

// The safe in-place write, `copyFd` being the new, empty copy at `copy`.
QString writeInPlace(FileOps &ops, const QByteArray &target, int copyFd, const QByteArray &copy,
                     const uint8_t *data, int64_t size)
{
    FdGuard copyGuard(ops, copyFd);
    int error = fillAndFlush(ops, copyFd, data, size);
    if (!error && !copyGuard.close())
        error = errno;
    if (error) {
        ops.unlink(copy.constData());
        return systemReason(error);
    }
    return overwriteFromCopy(ops, target, copy, data, size);
}

} // namespace

QString readWhole(const QString &path, int64_t limit, const Resize &resize, FileOps *opsOrNull)
{
    FileOps &ops = opsOrNull ? *opsOrNull : FileOps::system();
    if (path.isEmpty())
        return QStringLiteral("no file name");
    const QByteArray name = DiskName::toDisk(path);
    // Folders, devices and pipes are refused before they are opened: opening
    // a pipe for reading waits for a writer, and a device has no end.
    struct stat st;
    if (::stat(name.constData(), &st) != 0)
        return systemReason(errno);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    FdGuard fd(ops, ops.open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0)
        return systemReason(errno);
    // It may have been replaced between the look and the open.
    if (ops.fstat(fd.get(), &st) != 0)
        return systemReason(errno);
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("not a regular file");
    if (st.st_size > limit)
        return tooLarge(limit);

    int64_t capacity = st.st_size;
    uint8_t *buffer = resize(capacity);
    if (!buffer && capacity > 0)
        return QStringLiteral("not enough memory");
    int64_t done = 0;
    for (;;) {
        // The reported size is only a hint: pseudo-files report 0 or a page,
        // and a file may grow. Once it is filled, a probe reads on to the end.
        uint8_t probe[kProbe];
        const bool probing = done == capacity;
        const ssize_t n = probing ? ops.read(fd.get(), probe, kProbe)
                                  : ops.read(fd.get(), buffer + done, size_t(std::min(kChunk, capacity - done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return systemReason(errno);
        if (n == 0)
            break;
        if (probing) {
            if (done + n > limit)
                return tooLarge(limit);
            capacity = std::min(limit, std::max({capacity * 2, done + n, int64_t(kProbe)}));
            buffer = resize(capacity);
            if (!buffer)
                return QStringLiteral("not enough memory");
            std::memcpy(buffer + done, probe, size_t(n));
        }
        done += n;
    }
    if (done != capacity && !resize(done) && done > 0)
        return QStringLiteral("not enough memory");
    return {};
}

QString writeWhole(const QString &path, const uint8_t *data, int64_t size, FileOps *opsOrNull)
{
    FileOps &ops = opsOrNull ? *opsOrNull : FileOps::system();
    if (path.isEmpty())
        return QStringLiteral("no file name");
    const QByteArray target = followLinks(DiskName::toDisk(path));
    struct stat st;
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return systemReason(errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return QStringLiteral("a folder of that name exists");
        if (!S_ISREG(st.st_mode))
            return QStringLiteral("not a regular file");
        // A file the saver may not write stays as it is, even where the
        // folder would let a rename replace it.
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            return systemReason(errno);
    }

    const QByteArray folder = folderOf(target);
    // Short enough that the temporary name stays within the name limit.
    const QByteArray stem = baseOf(target).left(200);
    // A new file gets the usual mode; a copy of an existing file's new
    // content stays private until it has the file's own identity.
    QByteArray temp;
    int tempFd = createUnique(ops, folder, stem, exists ? 0600 : 0666, temp);
    if (tempFd < 0) {
        if (!exists)
            return systemReason(errno);
        // The folder admits no new file but the file itself is writable.
        const int besideError = errno;
        tempFd = createUnique(ops, userTempFolder(), stem, 0600, temp);
        if (tempFd < 0)
            return systemReason(besideError);
        return writeInPlace(ops, target, tempFd, temp, data, size);
    }
    if (exists && st.st_nlink > 1)
        return writeInPlace(ops, target, tempFd, temp, data, size);

    FdGuard fd(ops, tempFd);
    int error = writeAll(ops, fd.get(), data, size);
    if (!error && exists && !FileAttributes::copy(ops, target.constData(), st, fd.get())) {
        // A rename would change who owns the file or what it carries; the
        // file is writable, so it is overwritten instead, and the new file,
        // made private again, stands by as the copy.
        if (ops.fchmod(fd.get(), 0600) != 0 || ops.fsync(fd.get()) != 0 || !fd.close()) {
            error = errno;
            ops.unlink(temp.constData());
            return systemReason(error);
        }
        return overwriteFromCopy(ops, target, temp, data, size);
    }
    if (!error && ops.fsync(fd.get()) != 0)
        error = errno;
    if (!error && !fd.close())
        error = errno;
    if (!error && ops.rename(temp.constData(), target.constData()) != 0)
        error = errno;
    if (error) {
        ops.unlink(temp.constData());
        return systemReason(error);
    }
    flushFolder(ops, folder);
    return {};
}

} // namespace DiskFile
