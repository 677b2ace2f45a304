#include "fileops.h"

#include "systemreason.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>

#if defined(Q_OS_UNIX)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(Q_OS_LINUX)
#include <sys/xattr.h>
#endif
#endif

FileOps &FileOps::system()
{
    static FileOps ops;
    return ops;
}

#if defined(Q_OS_UNIX)

namespace {

// One call moves at most this much, well below what kernels accept at once.
constexpr int64_t kMaxIo = int64_t(1) << 30;

template<typename Call>
auto retrying(Call call) -> decltype(call())
{
    for (;;) {
        const auto r = call();
        if (r >= 0)
            return r;
        if (errno != EINTR)
            return -errno;
    }
}

int64_t nanoseconds(const struct timespec &t)
{
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void fill(const struct stat &st, FileStatus &out)
{
    out.id.device = uint64_t(st.st_dev);
    out.id.inode = uint64_t(st.st_ino);
    out.id.size = int64_t(st.st_size);
#if defined(Q_OS_DARWIN)
    out.id.modifiedNs = nanoseconds(st.st_mtimespec);
    out.id.changedNs = nanoseconds(st.st_ctimespec);
#else
    out.id.modifiedNs = nanoseconds(st.st_mtim);
    out.id.changedNs = nanoseconds(st.st_ctim);
#endif
    out.mode = uint32_t(st.st_mode);
    out.owner = uint32_t(st.st_uid);
    out.group = uint32_t(st.st_gid);
    out.links = uint64_t(st.st_nlink);
}

template<typename Call>
int statWith(Call call, FileStatus &out)
{
    struct stat st;
    if (const int r = retrying([&] { return call(&st); }); r < 0)
        return r;
    fill(st, out);
    return 0;
}

} // namespace

int FileOps::open(const QByteArray &path, int flags, uint32_t createMode)
{
    int native = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (flags & Folder) {
        native |= O_RDONLY | O_DIRECTORY;
    } else {
        native |= (flags & ReadWrite) == ReadWrite ? O_RDWR : (flags & Write) ? O_WRONLY : O_RDONLY;
        if (flags & CreateNew)
            native |= O_CREAT | O_EXCL;
    }
    if (flags & NoFollow)
        native |= O_NOFOLLOW;
    // Reads and writes of a regular file never block, so the flag that keeps
    // a pipe's open from waiting changes nothing for the files we keep.
    return retrying([&] { return ::open(path.constData(), native, mode_t(createMode)); });
}

int FileOps::close(int fd)
{
    // A close interrupted by a signal has released the descriptor on the
    // systems we run on; retrying could close another thread's file.
    return ::close(fd) == 0 || errno == EINTR ? 0 : -errno;
}

int64_t FileOps::read(int fd, void *buffer, int64_t size)
{
    return retrying([&] { return int64_t(::read(fd, buffer, size_t(std::min(size, kMaxIo)))); });
}

int64_t FileOps::pread(int fd, void *buffer, int64_t size, int64_t offset)
{
    return retrying([&] { return int64_t(::pread(fd, buffer, size_t(std::min(size, kMaxIo)), off_t(offset))); });
}

int64_t FileOps::pwrite(int fd, const void *buffer, int64_t size, int64_t offset)
{
    return retrying([&] { return int64_t(::pwrite(fd, buffer, size_t(std::min(size, kMaxIo)), off_t(offset))); });
}

int FileOps::fsync(int fd, bool dataOnly)
{
#if defined(Q_OS_LINUX)
    if (dataOnly)
        return retrying([&] { return ::fdatasync(fd); });
#else
    Q_UNUSED(dataOnly)
#endif
    return retrying([&] { return ::fsync(fd); });
}

int FileOps::ftruncate(int fd, int64_t length)
{
    return retrying([&] { return ::ftruncate(fd, off_t(length)); });
}

int FileOps::fstat(int fd, FileStatus &out)
{
    return statWith([&](struct stat *st) { return ::fstat(fd, st); }, out);
}

int FileOps::stat(const QByteArray &path, FileStatus &out)
{
    return statWith([&](struct stat *st) { return ::stat(path.constData(), st); }, out);
}

int FileOps::lstat(const QByteArray &path, FileStatus &out)
{
    return statWith([&](struct stat *st) { return ::lstat(path.constData(), st); }, out);
}

int FileOps::readlink(const QByteArray &path, QByteArray &target)
{
    for (qsizetype size = 256; size <= (qsizetype(1) << 20); size *= 4) {
        target.resize(size);
        const ssize_t n = retrying([&] { return ::readlink(path.constData(), target.data(), size_t(size)); });
        if (n < 0)
            return int(n);
        if (n < size) {
            target.truncate(n);
            return 0;
        }
    }
    return -ENAMETOOLONG;
}

int FileOps::access(const QByteArray &path, int what)
{
    const int mode = ((what & MayWrite) ? W_OK : 0) | ((what & MayEnter) ? X_OK : 0);
    return retrying([&] { return ::faccessat(AT_FDCWD, path.constData(), mode ? mode : F_OK, AT_EACCESS); });
}

int FileOps::rename(const QByteArray &from, const QByteArray &to)
{
    return retrying([&] { return ::rename(from.constData(), to.constData()); });
}

int FileOps::unlink(const QByteArray &path)
{
    return retrying([&] { return ::unlink(path.constData()); });
}

int FileOps::mkdir(const QByteArray &path, uint32_t mode)
{
    return retrying([&] { return ::mkdir(path.constData(), mode_t(mode)); });
}

int FileOps::listFolder(const QByteArray &path, QList<QByteArray> &names)
{
    names.clear();
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return -errno;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    return error ? -error : 0;
}

int FileOps::fchown(int fd, uint32_t owner, uint32_t group)
{
    return retrying([&] { return ::fchown(fd, uid_t(owner), gid_t(group)); });
}

int FileOps::fchmod(int fd, uint32_t mode)
{
    return retrying([&] { return ::fchmod(fd, mode_t(mode)); });
}

#if defined(Q_OS_LINUX)
int64_t FileOps::flistxattr(int fd, char *names, int64_t size)
{
    return retrying([&] { return int64_t(::flistxattr(fd, names, size_t(size))); });
}

int64_t FileOps::fgetxattr(int fd, const char *name, void *value, int64_t size)
{
    return retrying([&] { return int64_t(::fgetxattr(fd, name, value, size_t(size))); });
}

int FileOps::fsetxattr(int fd, const char *name, const void *value, int64_t size)
{
    return retrying([&] { return ::fsetxattr(fd, name, value, size_t(size), 0); });
}

int FileOps::fremovexattr(int fd, const char *name)
{
    return retrying([&] { return ::fremovexattr(fd, name); });
}
#else
// Attributes are kept only where the program knows how to read them.
int64_t FileOps::flistxattr(int, char *, int64_t) { return -ENOTSUP; }
int64_t FileOps::fgetxattr(int, const char *, void *, int64_t) { return -ENOTSUP; }
int FileOps::fsetxattr(int, const char *, const void *, int64_t) { return -ENOTSUP; }
int FileOps::fremovexattr(int, const char *) { return -ENOTSUP; }
#endif

int64_t FileOps::seek(int fd, int64_t offset, Seek which)
{
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    return retrying([&] { return int64_t(::lseek(fd, off_t(offset), which == NextData ? SEEK_DATA : SEEK_HOLE)); });
#else
    Q_UNUSED(fd) Q_UNUSED(offset) Q_UNUSED(which)
    return -EINVAL;
#endif
}

int64_t FileOps::copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len)
{
#if defined(__linux__) && defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 27))
    off64_t from = inOffset;
    off64_t to = outOffset;
    return retrying([&] { return int64_t(::copy_file_range(in, &from, out, &to, size_t(std::min(len, kMaxIo)), 0)); });
#else
    Q_UNUSED(in) Q_UNUSED(inOffset) Q_UNUSED(out) Q_UNUSED(outOffset) Q_UNUSED(len)
    return -ENOSYS;
#endif
}

int FileOps::adviseSequential(int fd, int64_t offset)
{
#if defined(POSIX_FADV_SEQUENTIAL)
    // The call returns its error rather than setting errno.
    const int r = ::posix_fadvise(fd, off_t(offset), 0, POSIX_FADV_SEQUENTIAL);
    return r == 0 ? 0 : -r;
#else
    Q_UNUSED(fd) Q_UNUSED(offset)
    return -ENOSYS;
#endif
}

int FileOps::lock(int fd)
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
#if defined(F_OFD_SETLK)
    // A lock of the open file, not of the process: two opens in one process
    // exclude each other too, and closing some other descriptor of the same
    // file does not drop it.
    const int r = retrying([&] { return ::fcntl(fd, F_OFD_SETLK, &lock); });
#else
    const int r = retrying([&] { return ::fcntl(fd, F_SETLK, &lock); });
#endif
    return r == -EACCES ? -EAGAIN : r;
}

uint32_t FileOps::user()
{
    return uint32_t(::geteuid());
}

#else

// Without the POSIX calls every operation fails, so a load or a save refuses
// with a reason instead of claiming to have done anything.
int FileOps::open(const QByteArray &, int, uint32_t) { return -ENOSYS; }
int FileOps::close(int) { return -ENOSYS; }
int64_t FileOps::read(int, void *, int64_t) { return -ENOSYS; }
int64_t FileOps::pread(int, void *, int64_t, int64_t) { return -ENOSYS; }
int64_t FileOps::pwrite(int, const void *, int64_t, int64_t) { return -ENOSYS; }
int FileOps::fsync(int, bool) { return -ENOSYS; }
int FileOps::ftruncate(int, int64_t) { return -ENOSYS; }
int FileOps::fstat(int, FileStatus &) { return -ENOSYS; }
int FileOps::stat(const QByteArray &, FileStatus &) { return -ENOSYS; }
int FileOps::lstat(const QByteArray &, FileStatus &) { return -ENOSYS; }
int FileOps::readlink(const QByteArray &, QByteArray &) { return -ENOSYS; }
int FileOps::access(const QByteArray &, int) { return -ENOSYS; }
int FileOps::rename(const QByteArray &, const QByteArray &) { return -ENOSYS; }
int FileOps::unlink(const QByteArray &) { return -ENOSYS; }
int FileOps::mkdir(const QByteArray &, uint32_t) { return -ENOSYS; }
int FileOps::listFolder(const QByteArray &, QList<QByteArray> &) { return -ENOSYS; }
int FileOps::fchown(int, uint32_t, uint32_t) { return -ENOSYS; }
int FileOps::fchmod(int, uint32_t) { return -ENOSYS; }
int64_t FileOps::flistxattr(int, char *, int64_t) { return -ENOSYS; }
int64_t FileOps::fgetxattr(int, const char *, void *, int64_t) { return -ENOSYS; }
int FileOps::fsetxattr(int, const char *, const void *, int64_t) { return -ENOSYS; }
int FileOps::fremovexattr(int, const char *) { return -ENOSYS; }
int64_t FileOps::seek(int, int64_t, Seek) { return -ENOSYS; }
int64_t FileOps::copyFileRange(int, int64_t, int, int64_t, int64_t) { return -ENOSYS; }
int FileOps::adviseSequential(int, int64_t) { return -ENOSYS; }
int FileOps::lock(int) { return -ENOSYS; }
uint32_t FileOps::user() { return 0; }

#endif

void FileHandle::reset(int fd)
{
    if (m_fd >= 0)
        m_ops.close(m_fd);
    m_fd = fd;
}

int FileHandle::close()
{
    if (m_fd < 0)
        return 0;
    const int fd = m_fd;
    m_fd = -1;
    return m_ops.close(fd);
}

namespace FileIo {

int writeAll(FileOps &ops, int fd, const void *data, int64_t size, int64_t offset)
{
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const int64_t n = ops.pwrite(fd, bytes, size, offset);
        if (n < 0)
            return int(n);
        if (n == 0)
            return -ENOSPC;
        bytes += n;
        size -= n;
        offset += n;
    }
    return 0;
}

int readAll(FileOps &ops, int fd, void *data, int64_t size, int64_t offset)
{
    auto *bytes = static_cast<char *>(data);
    while (size > 0) {
        const int64_t n = ops.pread(fd, bytes, size, offset);
        if (n < 0)
            return int(n);
        if (n == 0)
            return kEndedEarly;
        bytes += n;
        size -= n;
        offset += n;
    }
    return 0;
}

int flushFolder(FileOps &ops, const QByteArray &folder)
{
    FileHandle dir(ops, ops.open(folder, FileOps::Folder));
    if (!dir.isOpen())
        return dir.get();
    const int r = ops.fsync(dir.get());
    return r == -EINVAL || r == -EOPNOTSUPP ? 0 : r;
}

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

QString reason(int result)
{
    if (result == kEndedEarly)
        return QStringLiteral("the file ended sooner than expected");
    return systemReason(-result);
}

} // namespace FileIo
