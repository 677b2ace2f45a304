#include "filesave.h"

#include "fileattributes.h"
#include "fileops.h"
#include "journal.h"
#include "savetarget.h"

#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {

constexpr int64_t kPiece = int64_t(1) << 20;
constexpr char kTempMark[] = ".veltrano-";
constexpr char kTempEnd[] = ".tmp";
constexpr int kTempRandom = 6;

// ".<name>.veltrano-XXXXXX.tmp": hidden, and known as ours by the next save.
bool isOurTemporary(const QByteArray &name)
{
    const qsizetype random = name.size() - qsizetype(sizeof kTempEnd - 1) - kTempRandom;
    const qsizetype mark = random - qsizetype(sizeof kTempMark - 1);
    if (!name.startsWith('.') || !name.endsWith(kTempEnd) || mark < 1 || name.mid(mark, random - mark) != kTempMark)
        return false;
    for (qsizetype i = random; i < random + kTempRandom; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    }
    return true;
}

// A new, empty file of a fresh name in `folder`, open and locked, so that
// another save's clean-up leaves it alone. The descriptor or a negated errno.
int createTemporary(FileOps &ops, const QByteArray &folder, const QByteArray &base, uint32_t mode,
                    QByteArray *created)
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Short enough that the name stays within the system's limit.
        QByteArray name = folder + "/." + base.left(200) + kTempMark;
        for (int i = 0; i < kTempRandom; ++i)
            name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        name += kTempEnd;
        const int fd = ops.open(name, FileOps::ReadWrite | FileOps::CreateNew | FileOps::NoFollow, mode);
        if (fd >= 0) {
            ops.lock(fd);
            *created = name;
            return fd;
        }
        if (fd != -EEXIST)
            return fd;
    }
    return -EEXIST;
}

// Removes what saves that crashed left in `folder`: only files of ours, of
// this user, that no running save holds. Once a run for each folder: a
// folder of many files costs a whole listing, and a crash that leaves
// litter behind ends the run that would have left more.
void removeStaleTemporaries(FileOps &ops, const QByteArray &folder)
{
    static QSet<QByteArray> cleaned;
    static QMutex guard;
    {
        const QMutexLocker locker(&guard);
        if (cleaned.contains(folder))
            return;
        cleaned.insert(folder);
    }
    QList<QByteArray> names;
    if (ops.listFolder(folder, names) < 0)
        return;
    for (const QByteArray &name : names) {
        if (!isOurTemporary(name))
            continue;
        const QByteArray path = folder + '/' + name;
        FileStatus named, held;
        if (ops.lstat(path, named) < 0 || !named.isRegular() || named.owner != ops.user())
            continue;
        FileHandle fd(ops, ops.open(path, FileOps::ReadWrite | FileOps::NoFollow));
        if (!fd.isOpen() || ops.lock(fd.get()) < 0 || ops.fstat(fd.get(), held) < 0 || !held.id.isSameFile(named.id))
            continue;
        ops.unlink(path);
    }
}

// Where the file's data lies; all of it where the system cannot tell holes.
std::vector<Journal::Range> dataRanges(FileOps &ops, int fd, int64_t size)
{
    std::vector<Journal::Range> ranges;
    for (int64_t at = 0; at < size;) {
        const int64_t start = ops.seek(fd, at, FileOps::NextData);
        if (start == -ENXIO || start >= size)
            break;
        if (start < 0)
            return {{0, size}};
        int64_t end = ops.seek(fd, start, FileOps::NextHole);
        end = end < 0 ? size : std::min(end, size);
        ranges.push_back({start, end - start});
        at = end;
    }
    return ranges;
}

// After a failed write into the file itself: puts the old bytes back.
SaveOutcome undo(FileOps &ops, Journal &journal, int fd, const QString &why)
{
    SaveOutcome out;
    out.failure = why;
    if (const int r = journal.rollBack(fd); r < 0) {
        out.failure += QStringLiteral("; it will be put back from its journal when it is next opened (%1)")
                           .arg(FileIo::reason(r));
        out.journalLeft = true;
        return out;
    }
    FileStatus now;
    if (ops.fstat(fd, now) == 0)
        out.file = now.id;
    return out;
}

// Ends a write into the file itself once it is flushed.
SaveOutcome finished(FileOps &ops, Journal &journal, int fd)
{
    SaveOutcome out;
    FileStatus now;
    switch (journal.finish(&out.failure)) {
    case Journal::Finish::Stuck:
        return undo(ops, journal, fd, out.failure);
    case Journal::Finish::Gone:
        return out;
    case Journal::Finish::Done:
    case Journal::Finish::Unflushed:
        break;
    }
    if (ops.fstat(fd, now) == 0)
        out.file = now.id;
    return out;
}

// The in-place write of a whole file, open and locked as `fd`.
SaveOutcome overwrite(FileOps &ops, const QByteArray &path, int fd, const FileContent &content)
{
    SaveOutcome out;
    FileStatus st;
    if (const int r = ops.fstat(fd, st); r < 0) {
        out.failure = FileIo::reason(r);
        return out;
    }
    Journal journal(ops);
    if (QString why = journal.create(path, fd, st, dataRanges(ops, fd, st.id.size), true, 0); !why.isEmpty()) {
        out.failure = why;
        out.file = st.id;
        return out;
    }
    QString why;
    int r = ops.ftruncate(fd, 0);
    if (r == 0)
        r = content.writeTo(ops, fd, &why);
    if (r == 0)
        r = ops.fsync(fd);
    if (r < 0)
        return undo(ops, journal, fd, why.isEmpty() ? FileIo::reason(r) : why);
    out = finished(ops, journal, fd);
    if (out.failure.isEmpty())
        removeStaleTemporaries(ops, FileIo::folderOf(path));
    return out;
}

} // namespace

int MemoryContent::writeTo(FileOps &ops, int fd, QString *) const
{
    return FileIo::writeAll(ops, fd, m_data, m_size, 0);
}

namespace FileSave {

QString changeSince(const FileIdentity &opened, const FileIdentity *now)
{
    if (!now)
        return QStringLiteral("another program removed it after it was opened");
    if (!now->isSameFile(opened))
        return QStringLiteral("another program replaced it after it was opened");
    return QStringLiteral("another program changed it after it was opened");
}

SaveOutcome patchInPlace(FileOps &ops, const QByteArray &path, const FileIdentity &expected,
                         const ByteChanges &changes)
{
    SaveOutcome out;
    FileHandle fd(ops, ops.open(path, FileOps::ReadWrite | FileOps::NoFollow));
    if (!fd.isOpen()) {
        out.failure = fd.get() == -ENOENT ? changeSince(expected, nullptr) : FileIo::reason(fd.get());
        return out;
    }
    if (ops.lock(fd.get()) == -EAGAIN) {
        out.failure = QStringLiteral("another program is saving it");
        return out;
    }
    FileStatus st;
    if (const int r = ops.fstat(fd.get(), st); r < 0) {
        out.failure = FileIo::reason(r);
        return out;
    }
    if (st.id != expected) {
        out.failure = changeSince(expected, &st.id);
        return out;
    }
    out.file = st.id;
    std::vector<Journal::Range> ranges;
    int64_t end = 0;
    for (const auto &[offset, bytes] : changes) {
        if (offset < end || offset > st.id.size || bytes.size() > st.id.size - offset) {
            out.failure = QStringLiteral("a change lies outside the file");
            return out;
        }
        if (!bytes.isEmpty())
            ranges.push_back({offset, bytes.size()});
        end = offset + bytes.size();
    }
    if (ranges.empty())
        return out;

    Journal journal(ops);
    if (QString why = journal.create(path, fd.get(), st, ranges, false, Journal::checksumOf(changes)); !why.isEmpty()) {
        out.failure = why;
        return out;
    }
    int r = 0;
    for (const auto &[offset, bytes] : changes) {
        if (r == 0)
            r = FileIo::writeAll(ops, fd.get(), bytes.constData(), bytes.size(), offset);
    }
    // Only bytes inside the file changed, so its times need not be flushed.
    if (r == 0)
        r = ops.fsync(fd.get(), true);
    if (r < 0)
        return undo(ops, journal, fd.get(), QStringLiteral("cannot write the file: %1").arg(FileIo::reason(r)));
    out = finished(ops, journal, fd.get());
    if (out.failure.isEmpty())
        removeStaleTemporaries(ops, FileIo::folderOf(path));
    return out;
}

SaveOutcome writeComplete(FileOps &ops, const SaveTarget &target, const FileContent &content)
{
    SaveOutcome out;
    FileHandle old(ops);
    FileStatus oldStatus;
    if (target.exists) {
        old.reset(ops.open(target.path, FileOps::ReadWrite | FileOps::NoFollow));
        const int r = old.isOpen() ? ops.fstat(old.get(), oldStatus) : old.get();
        if (r < 0) {
            out.failure = FileIo::reason(r);
            return out;
        }
        if (!oldStatus.isRegular() || !oldStatus.id.isSameFile(target.status.id)) {
            out.failure = QStringLiteral("another program replaced it while it was being saved");
            return out;
        }
        if (ops.lock(old.get()) == -EAGAIN) {
            out.failure = QStringLiteral("another program is saving it");
            return out;
        }
        out.file = oldStatus.id;
    }
    if (target.strategy == SaveTarget::OverwriteInPlace)
        return overwrite(ops, target.path, old.get(), content);

    const QByteArray folder = FileIo::folderOf(target.path);
    QByteArray temp;
    // A copy of an existing file's new content stays private until it has
    // the file's own identity; a new file gets the usual mode.
    FileHandle fresh(ops, createTemporary(ops, folder, FileIo::baseOf(target.path), target.exists ? 0600 : 0666, &temp));
    if (!fresh.isOpen()) {
        // The folder admits no new file after all; a file that exists is
        // written in place instead.
        if (target.exists && (fresh.get() == -EACCES || fresh.get() == -EPERM))
            return overwrite(ops, target.path, old.get(), content);
        out.failure = FileIo::reason(fresh.get());
        return out;
    }
    QString why;
    int r = content.writeTo(ops, fresh.get(), &why);
    if (r == 0 && target.exists && !FileAttributes::copy(ops, old.get(), oldStatus, fresh.get())) {
        // A rename would change who owns the file or what it carries; the
        // file is writable, so it is overwritten instead.
        ops.unlink(temp);
        return overwrite(ops, target.path, old.get(), content);
    }
    if (r == 0)
        r = ops.fsync(fresh.get());
    if (r == 0)
        r = ops.rename(temp, target.path);
    if (r < 0) {
        ops.unlink(temp);
        out.failure = why.isEmpty() ? FileIo::reason(r) : why;
        return out;
    }
    FileStatus now;
    if (ops.fstat(fresh.get(), now) == 0)
        out.file = now.id;
    else
        out.file.reset();
    if (const int synced = FileIo::flushFolder(ops, folder); synced < 0)
        out.failure = QStringLiteral("the file was written, but its folder could not be flushed: %1")
                          .arg(FileIo::reason(synced));
    else
        removeStaleTemporaries(ops, folder);
    return out;
}

int copyData(FileOps &ops, int in, int out, int64_t size)
{
    if (const int r = ops.ftruncate(out, size); r < 0)
        return r;
    const auto kernelCannotHelp = [](int64_t r) { return r == -ENOSYS || r == -EXDEV || r == -EOPNOTSUPP || r == -EINVAL; };
    bool inKernel = true;
    QByteArray piece;
    for (const Journal::Range &range : dataRanges(ops, in, size)) {
        int64_t from = range.offset;
        const int64_t to = range.offset + range.length;
        while (inKernel && from < to) {
            const int64_t n = ops.copyFileRange(in, from, out, from, to - from);
            if (n == 0)
                return FileIo::kEndedEarly;
            if (n < 0 && !kernelCannotHelp(n))
                return int(n);
            inKernel = n > 0;
            from += std::max<int64_t>(n, 0);
        }
        for (; from < to; from += piece.size()) {
            piece.resize(qsizetype(std::min(kPiece, to - from)));
            int r = FileIo::readAll(ops, in, piece.data(), piece.size(), from);
            if (r == 0)
                r = FileIo::writeAll(ops, out, piece.constData(), piece.size(), from);
            if (r < 0)
                return r;
        }
    }
    return 0;
}

} // namespace FileSave
