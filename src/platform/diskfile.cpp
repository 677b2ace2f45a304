#include "diskfile.h"

#include "fileops.h"

#include <algorithm>
#include <cstring>

namespace DiskFile {
namespace {

constexpr int64_t kChunk = int64_t(1) << 30;
constexpr int64_t kProbe = 64 * 1024;

} // namespace

QString tooLarge(int64_t limit)
{
    if (limit + 1 == int64_t(1) << 31)
        return QStringLiteral("larger than 2 GiB");
    return QStringLiteral("larger than %1 bytes").arg(limit);
}

QString readWhole(FileOps &ops, const QByteArray &path, int64_t limit, const Resize &resize,
                  FileIdentity *identity)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    // Folders, devices and pipes are refused before they are opened: opening
    // a pipe for reading waits for a writer, and a device has no end.
    FileStatus st;
    if (const int r = ops.stat(path, st); r < 0)
        return FileIo::reason(r);
    if (!st.isRegular())
        return QStringLiteral("not a regular file");
    FileHandle fd(ops, ops.open(path, FileOps::Read));
    if (!fd.isOpen())
        return FileIo::reason(fd.get());
    if (const int r = ops.fstat(fd.get(), st); r < 0)
        return FileIo::reason(r);
    if (!st.isRegular())
        return QStringLiteral("not a regular file");
    if (st.id.size > limit)
        return tooLarge(limit);
    *identity = st.id;

    int64_t capacity = st.id.size;
    uint8_t *buffer = resize(capacity);
    if (!buffer && capacity > 0)
        return QStringLiteral("not enough memory");
    int64_t done = 0;
    for (;;) {
        // The reported size is only a hint: pseudo-files report 0 or a page,
        // and a file may grow. Once it is filled, a probe reads on to the end.
        uint8_t probe[kProbe];
        const bool probing = done == capacity;
        const int64_t n = probing ? ops.read(fd.get(), probe, kProbe)
                                  : ops.read(fd.get(), buffer + done, std::min(kChunk, capacity - done));
        if (n < 0)
            return FileIo::reason(int(n));
        if (n == 0)
            break;
        if (probing) {
            if (done + n > limit)
                return tooLarge(limit);
            capacity = std::min(limit, std::max({capacity * 2, done + n, kProbe}));
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

} // namespace DiskFile
