#include "fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FileIO {
namespace {
// Kernels cap one read or write near 2 GiB; stay well below.
constexpr qint64 kChunk = qint64(1) << 30;
}

QString load(const QString &path, ByteStore &out)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    // Folders, devices and pipes are refused before they are opened: opening
    // a pipe for reading waits for a writer, and a device has no end.
    if (!QFileInfo(path).isFile())
        return QStringLiteral("not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.isSequential())
        return QStringLiteral("not a regular file");
    const qint64 length = file.size();
    if (length < 0 || length > ByteStore::kMaxSize)
        return QStringLiteral("file too large");
    ByteStore fresh;
    if (!fresh.allocate(length))
        return QStringLiteral("not enough memory");
    qint64 done = 0;
    while (done < length) {
        const qint64 n = file.read(reinterpret_cast<char *>(fresh.data()) + done,
                                   std::min(kChunk, length - done));
        if (n < 0)
            return file.errorString();
        if (n == 0)
            return QStringLiteral("the file became shorter while it was read");
        done += n;
    }
    out.swap(fresh);
    return {};
}

QString save(const QString &path, const ByteStore &data)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    if (QFileInfo(path).isDir())
        return QStringLiteral("a folder of that name exists");
    // The replacement is a new file; it takes the old one's mode bits, which
    // the temporary file does not fully inherit (a read-only file that root
    // saves would come back writable).
    const QFileInfo before(path);
    constexpr auto kModeBits = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const auto mode = before.permissions() & kModeBits;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    qint64 done = 0;
    const qint64 length = data.size();
    while (done < length) {
        const qint64 n = file.write(reinterpret_cast<const char *>(data.data()) + done,
                                    std::min(kChunk, length - done));
        if (n <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return why;
        }
        done += n;
    }
    if (!file.commit())
        return file.errorString();
    if (before.exists() && (QFile::permissions(path) & kModeBits) != mode)
        QFile::setPermissions(path, mode);
    return {};
}

} // namespace FileIO
