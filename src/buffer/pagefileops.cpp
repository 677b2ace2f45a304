#include "pagefileops.h"

#include "diskname.h"
#include "systemreason.h"


#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#if defined(Q_OS_UNIX)

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

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

void fill(const struct stat &st, FileStat &out)
{
    out.id.dev = uint64_t(st.st_dev);
    out.id.ino = uint64_t(st.st_ino);
    out.id.size = int64_t(st.st_size);
#if defined(Q_OS_DARWIN)
    out.id.mtime_ns = int64_t(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    out.id.mtime_ns = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    out.mode = uint32_t(st.st_mode) & 07777;
    out.isDirectory = S_ISDIR(st.st_mode);
}

// One call moves at most this much, well below what kernels accept at once.
constexpr int64_t kMaxIo = int64_t(1) << 30;

class PosixFileOps final : public PageFileOps {
public:
    int open(const QByteArray &path, OpenMode mode, uint32_t createMode) override
    {
        int flags = O_CLOEXEC;
        switch (mode) {
        case ReadOnly:
            // A named pipe where a journal or a file is looked for must not
            // hang the open; on a regular file the flag changes nothing.
            flags |= O_RDONLY | O_NONBLOCK;
            break;
        case ReadWrite: flags |= O_RDWR; break;
        case CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
        case Directory:
            flags |= O_RDONLY;
#ifdef O_DIRECTORY
            flags |= O_DIRECTORY;
#endif
            break;
        }
        return retrying([&] { return ::open(path.constData(), flags, mode_t(createMode)); });
    }

    int close(int fd) override
    {
        // A close interrupted by a signal has released the descriptor on the
        // systems we run on; retrying could close another thread's file.
        return ::close(fd) == 0 || errno == EINTR ? 0 : -errno;
    }

    int64_t pread(int fd, void *buf, int64_t len, int64_t offset) override
    {
        return retrying([&] { return int64_t(::pread(fd, buf, size_t(std::min(len, kMaxIo)), off_t(offset))); });
    }

    int64_t pwrite(int fd, const void *buf, int64_t len, int64_t offset) override
    {
        return retrying([&] { return int64_t(::pwrite(fd, buf, size_t(std::min(len, kMaxIo)), off_t(offset))); });
    }

    int fsync(int fd) override { return retrying([&] { return ::fsync(fd); }); }

    int ftruncate(int fd, int64_t length) override
    {
        return retrying([&] { return ::ftruncate(fd, off_t(length)); });
    }

    int fchmod(int fd, uint32_t mode) override { return retrying([&] { return ::fchmod(fd, mode_t(mode)); }); }

    int fstat(int fd, FileStat &out) override
    {
        struct stat st;
        if (const int r = retrying([&] { return ::fstat(fd, &st); }); r < 0)
            return r;
        fill(st, out);
        return 0;
    }

    int stat(const QByteArray &path, FileStat &out) override
    {
        struct stat st;
        if (const int r = retrying([&] { return ::stat(path.constData(), &st); }); r < 0)
            return r;
        fill(st, out);
        return 0;
    }

    int rename(const QByteArray &from, const QByteArray &to) override
    {
        return retrying([&] { return ::rename(from.constData(), to.constData()); });
    }

    int unlink(const QByteArray &path) override { return retrying([&] { return ::unlink(path.constData()); }); }

    int64_t seek(int fd, int64_t offset, Seek which) override
    {
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
        return retrying([&] { return int64_t(::lseek(fd, off_t(offset), which == NextData ? SEEK_DATA : SEEK_HOLE)); });
#else
        Q_UNUSED(fd) Q_UNUSED(offset) Q_UNUSED(which)
        return -EINVAL;
#endif
    }

    int64_t copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len) override
    {
#if defined(__linux__) && defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 27))
        off64_t from = inOffset;
        off64_t to = outOffset;
        return retrying([&] {
            return int64_t(::copy_file_range(in, &from, out, &to, size_t(std::min(len, kMaxIo)), 0));
        });
#else
        Q_UNUSED(in) Q_UNUSED(inOffset) Q_UNUSED(out) Q_UNUSED(outOffset) Q_UNUSED(len)
        return -ENOSYS;
#endif
    }
};

#else

// Without the POSIX calls every operation fails, so a save refuses with a
// reason instead of claiming to have written anything.
class PosixFileOps final : public PageFileOps {
public:
    int open(const QByteArray &, OpenMode, uint32_t) override { return -ENOSYS; }
    int close(int) override { return -ENOSYS; }
    int64_t pread(int, void *, int64_t, int64_t) override { return -ENOSYS; }
    int64_t pwrite(int, const void *, int64_t, int64_t) override { return -ENOSYS; }
    int fsync(int) override { return -ENOSYS; }
    int ftruncate(int, int64_t) override { return -ENOSYS; }
    int fchmod(int, uint32_t) override { return -ENOSYS; }
    int fstat(int, FileStat &) override { return -ENOSYS; }
    int stat(const QByteArray &, FileStat &) override { return -ENOSYS; }
    int rename(const QByteArray &, const QByteArray &) override { return -ENOSYS; }
    int unlink(const QByteArray &) override { return -ENOSYS; }
    int64_t seek(int, int64_t, Seek) override { return -ENOSYS; }
    int64_t copyFileRange(int, int64_t, int, int64_t, int64_t) override { return -ENOSYS; }
};

#endif

} // namespace

PageFileOps &PageFileOps::real()
{
    static PosixFileOps ops;
    return ops;
}

std::optional<FileIdentity> FileIdentity::of(int fd)
{
    FileStat st;
    if (PageFileOps::real().fstat(fd, st) < 0)
        return std::nullopt;
    return st.id;
}

std::optional<FileIdentity> FileIdentity::of(const QString &path)
{
    FileStat st;
    if (PageFileOps::real().stat(nativePath(path), st) < 0)
        return std::nullopt;
    return st.id;
}

QByteArray nativePath(const QString &path)
{
    return DiskName::toDisk(path);
}

QString errorText(int negatedErrno)
{
    return systemReason(-negatedErrno);
}
