#include "positionalfile.h"

#include "fileops.h"

std::unique_ptr<PositionalFile> PositionalFile::open(FileOps &ops, const QByteArray &path, QString *why)
{
    FileHandle fd(ops, ops.open(path, FileOps::Read));
    if (!fd.isOpen()) {
        *why = FileIo::reason(fd.get());
        return nullptr;
    }
    FileStatus st;
    if (ops.fstat(fd.get(), st) < 0 || !st.isRegular()) {
        *why = QStringLiteral("not a regular file");
        return nullptr;
    }
    return std::unique_ptr<PositionalFile>(new PositionalFile(ops, fd.release(), path));
}

PositionalFile::~PositionalFile()
{
    m_ops.close(m_fd);
}

bool PositionalFile::identity(FileIdentity *out) const
{
    FileStatus st;
    if (m_ops.fstat(m_fd, st) < 0)
        return false;
    *out = st.id;
    return true;
}

bool PositionalFile::identityOfPath(FileIdentity *out) const
{
    FileStatus st;
    if (m_ops.stat(m_path, st) < 0)
        return false;
    *out = st.id;
    return true;
}

int64_t PositionalFile::readAt(int64_t pos, int64_t len, void *dst) const
{
    auto *out = static_cast<char *>(dst);
    int64_t done = 0;
    while (done < len) {
        const int64_t n = m_ops.pread(m_fd, out + done, len - done, pos + done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void PositionalFile::expectSequentialReads(int64_t pos) const
{
    m_ops.adviseSequential(m_fd, pos);
}
