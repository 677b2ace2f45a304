#include "positionalfile.h"

#include "diskname.h"
#include "systemreason.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

PositionalFile::Identity identityFrom(const struct stat &st)
{
    return PositionalFile::Identity{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                              int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

std::unique_ptr<PositionalFile> PositionalFile::open(const QString &path, QString *why)
{
    const QByteArray name = DiskName::toDisk(path);
    // O_NONBLOCK: a fifo that slipped past the caller's checks must not
    // block the open; it is refused below.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *why = systemReason(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("not a regular file");
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<PositionalFile>(new PositionalFile(fd));
}

bool PositionalFile::identityOf(const QString &path, Identity *out)
{
    struct stat st {};
    if (::stat(DiskName::toDisk(path).constData(), &st) != 0)
        return false;
    *out = identityFrom(st);
    return true;
}

PositionalFile::~PositionalFile()
{
    ::close(m_fd);
}

bool PositionalFile::identity(Identity *out) const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    *out = identityFrom(st);
    return true;
}

int64_t PositionalFile::readAt(int64_t pos, int64_t len, void *dst) const
{
    auto *out = static_cast<char *>(dst);
    int64_t done = 0;
    while (done < len) {
        // Kernels cap one read near 2 GiB.
        const size_t step = size_t(std::min<int64_t>(len - done, int64_t(1) << 30));
        const ssize_t n = ::pread(m_fd, out + done, step, off_t(pos + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}
