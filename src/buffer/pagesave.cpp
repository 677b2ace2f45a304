#include "pagesave.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The journal, all numbers little-endian:
//   "VELTJRNL", u32 version, u32 range count,
//   u64 device, u64 inode, u64 size of the file it belongs to,
//   per range: u64 offset, u64 length (sorted, disjoint, inside the file),
//   the old bytes of every range in that order,
//   u64 FNV-1a checksum of everything before it.
// The checksum comes last so that a journal cut short anywhere fails it.
constexpr char kMagic[8] = {'V', 'E', 'L', 'T', 'J', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 1;
constexpr int64_t kFixedHeader = 40;
constexpr int64_t kRangeEntry = 16;
constexpr int64_t kTrailer = 8;
constexpr int64_t kBufferSize = int64_t(1) << 20;
// Our stand-in for "the file ended before the bytes we need".
constexpr int kEndedEarly = -ENODATA;

struct Range {
    int64_t offset;
    int64_t length;
};

struct Journal {
    FileIdentity target; // device, inode and size only
    std::vector<Range> ranges;
    int64_t dataOffset = 0;
};

class Checksum {
public:
    void add(const char *data, int64_t len)
    {
        for (int64_t i = 0; i < len; ++i) {
            m_hash ^= uint8_t(data[i]);
            m_hash *= 0x100000001b3ull;
        }
    }
    uint64_t value() const { return m_hash; }

private:
    uint64_t m_hash = 0xcbf29ce484222325ull;
};

// Owns a descriptor from PageFileOps::open and closes it on every way out,
// including a test's simulated crash.
class Fd {
public:
    Fd(PageFileOps &ops, int fd) : m_ops(ops), m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            m_ops.close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    void reset(int fd)
    {
        if (m_fd >= 0)
            m_ops.close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

private:
    PageFileOps &m_ops;
    int m_fd;
};

QString describe(int result)
{
    if (result == kEndedEarly)
        return QStringLiteral("the file ended sooner than expected");
    return errorText(result);
}

int writeAll(PageFileOps &ops, int fd, const char *data, int64_t len, int64_t offset)
{
    while (len > 0) {
        const int64_t n = ops.pwrite(fd, data, len, offset);
        if (n < 0)
            return int(n);
        if (n == 0)
            return -ENOSPC;
        data += n;
        len -= n;
        offset += n;
    }
    return 0;
}

int readAll(PageFileOps &ops, int fd, char *data, int64_t len, int64_t offset)
{
    while (len > 0) {
        const int64_t n = ops.pread(fd, data, len, offset);
        if (n < 0)
            return int(n);
        if (n == 0)
            return kEndedEarly;
        data += n;
        len -= n;
        offset += n;
    }
    return 0;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// Flushes a folder so that names created or removed in it survive a crash.
int syncFolder(PageFileOps &ops, const QString &folder)
{
    Fd dir(ops, ops.open(nativePath(folder), PageFileOps::Directory));
    if (!dir.isOpen())
        return dir.get();
    const int r = ops.fsync(dir.get());
    // Some file systems cannot flush a folder; their names are as durable as
    // they can be made.
    if (r == -EINVAL || r == -EOPNOTSUPP)
        return 0;
    return r;
}

QString checkChanges(const ByteChanges &changes, int64_t size)
{
    for (const auto &[offset, bytes] : changes) {
        if (offset < 0 || offset > size || bytes.size() > size - offset)
            return QStringLiteral("a change lies outside the file");
    }
    return {};
}

QString identityChange(const FileIdentity &expected, const FileIdentity &now)
{
    if (now.dev != expected.dev || now.ino != expected.ino)
        return QStringLiteral("the file was replaced by another one since it was opened");
    if (now.size != expected.size)
        return QStringLiteral("the file changed size since it was opened");
    if (now.mtime_ns != expected.mtime_ns)
        return QStringLiteral("the file was changed by another program since it was opened");
    return {};
}

// Opens the file a save starts from; "" when every change lies inside it and
// it is still the file that was opened.
QString openUnchanged(PageFileOps &ops, const QString &path, PageFileOps::OpenMode mode, const FileIdentity &expected,
                      const ByteChanges &changes, Fd &fd, FileStat &now)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    if (QString why = checkChanges(changes, expected.size); !why.isEmpty())
        return why;
    fd.reset(ops.open(nativePath(path), mode));
    if (!fd.isOpen())
        return errorText(fd.get());
    if (const int r = ops.fstat(fd.get(), now); r < 0)
        return errorText(r);
    return identityChange(expected, now.id);
}

std::vector<Range> mergedRanges(const ByteChanges &changes)
{
    std::vector<Range> ranges;
    for (const auto &[offset, bytes] : changes) {
        if (!bytes.isEmpty())
            ranges.push_back({offset, bytes.size()});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) { return a.offset < b.offset; });
    std::vector<Range> merged;
    for (const Range &r : ranges) {
        if (!merged.empty() && r.offset <= merged.back().offset + merged.back().length) {
            Range &last = merged.back();
            last.length = std::max(last.offset + last.length, r.offset + r.length) - last.offset;
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

int writeChanges(PageFileOps &ops, int fd, const ByteChanges &changes)
{
    for (const auto &[offset, bytes] : changes) {
        if (const int r = writeAll(ops, fd, bytes.constData(), bytes.size(), offset); r < 0)
            return r;
    }
    return 0;
}

// Appends to the journal through one buffer, summing what it writes.
class JournalWriter {
public:
    JournalWriter(PageFileOps &ops, int fd) : m_ops(ops), m_fd(fd) { m_buffer.reserve(kBufferSize); }

    int append(const char *data, int64_t len)
    {
        m_sum.add(data, len);
        m_buffer.append(data, len);
        return m_buffer.size() >= kBufferSize ? flush() : 0;
    }
    int appendU32(uint32_t v)
    {
        const uint32_t le = qToLittleEndian(v);
        return append(reinterpret_cast<const char *>(&le), sizeof le);
    }
    int appendU64(uint64_t v)
    {
        const uint64_t le = qToLittleEndian(v);
        return append(reinterpret_cast<const char *>(&le), sizeof le);
    }
    int finish()
    {
        const uint64_t le = qToLittleEndian(m_sum.value());
        m_buffer.append(reinterpret_cast<const char *>(&le), sizeof le);
        return flush();
    }

private:
    int flush()
    {
        const int r = writeAll(m_ops, m_fd, m_buffer.constData(), m_buffer.size(), m_offset);
        m_offset += m_buffer.size();
        m_buffer.clear();
        return r;
    }

    PageFileOps &m_ops;
    int m_fd;
    int64_t m_offset = 0;
    QByteArray m_buffer;
    Checksum m_sum;
};

int writeJournal(PageFileOps &ops, int target, int journal, const std::vector<Range> &ranges, const FileIdentity &id)
{
    JournalWriter out(ops, journal);
    int r = out.append(kMagic, sizeof kMagic);
    if (r == 0) r = out.appendU32(kVersion);
    if (r == 0) r = out.appendU32(uint32_t(ranges.size()));
    if (r == 0) r = out.appendU64(id.dev);
    if (r == 0) r = out.appendU64(id.ino);
    if (r == 0) r = out.appendU64(uint64_t(id.size));
    for (const Range &range : ranges) {
        if (r == 0) r = out.appendU64(uint64_t(range.offset));
        if (r == 0) r = out.appendU64(uint64_t(range.length));
    }
    QByteArray old;
    for (const Range &range : ranges) {
        for (int64_t done = 0; r == 0 && done < range.length; done += old.size()) {
            old.resize(std::min(kBufferSize, range.length - done));
            r = readAll(ops, target, old.data(), old.size(), range.offset + done);
            if (r == 0)
                r = out.append(old.constData(), old.size());
        }
    }
    return r == 0 ? out.finish() : r;
}

uint64_t u64At(const char *p)
{
    return qFromLittleEndian<uint64_t>(p);
}

// Reads and checks the whole journal; "" when every byte of it can be trusted.
QString readJournal(PageFileOps &ops, int fd, int64_t journalSize, Journal &out)
{
    const QString incomplete = QStringLiteral("the journal is incomplete");
    const QString damaged = QStringLiteral("the journal is damaged");
    if (journalSize < kFixedHeader + kTrailer)
        return incomplete;
    char fixed[kFixedHeader];
    if (const int r = readAll(ops, fd, fixed, kFixedHeader, 0); r < 0)
        return describe(r);
    if (std::memcmp(fixed, kMagic, sizeof kMagic) != 0)
        return damaged;
    if (qFromLittleEndian<uint32_t>(fixed + 8) != kVersion)
        return QStringLiteral("the journal was written by another version of the program");
    const int64_t count = qFromLittleEndian<uint32_t>(fixed + 12);
    out.target.dev = u64At(fixed + 16);
    out.target.ino = u64At(fixed + 24);
    out.target.size = int64_t(u64At(fixed + 32));
    if (out.target.size < 0)
        return damaged;
    const int64_t tableEnd = kFixedHeader + count * kRangeEntry;
    if (tableEnd + kTrailer > journalSize)
        return incomplete;
    QByteArray table(count * kRangeEntry, Qt::Uninitialized);
    if (const int r = readAll(ops, fd, table.data(), table.size(), kFixedHeader); r < 0)
        return describe(r);
    out.ranges.clear();
    int64_t dataSize = 0;
    int64_t previousEnd = 0;
    for (int64_t i = 0; i < count; ++i) {
        const uint64_t offset = u64At(table.constData() + i * kRangeEntry);
        const uint64_t length = u64At(table.constData() + i * kRangeEntry + 8);
        if (length == 0 || offset < uint64_t(previousEnd) || offset > uint64_t(out.target.size)
            || length > uint64_t(out.target.size) - offset)
            return damaged;
        out.ranges.push_back({int64_t(offset), int64_t(length)});
        previousEnd = int64_t(offset + length);
        dataSize += int64_t(length);
        if (dataSize > journalSize)
            return incomplete;
    }
    const int64_t expectedSize = tableEnd + dataSize + kTrailer;
    if (expectedSize > journalSize)
        return incomplete;
    if (expectedSize < journalSize)
        return damaged;
    out.dataOffset = tableEnd;

    Checksum sum;
    QByteArray chunk;
    const int64_t summed = journalSize - kTrailer;
    for (int64_t done = 0; done < summed; done += chunk.size()) {
        chunk.resize(std::min(kBufferSize, summed - done));
        if (const int r = readAll(ops, fd, chunk.data(), chunk.size(), done); r < 0)
            return describe(r);
        sum.add(chunk.constData(), chunk.size());
    }
    char trailer[kTrailer];
    if (const int r = readAll(ops, fd, trailer, kTrailer, summed); r < 0)
        return describe(r);
    if (u64At(trailer) != sum.value())
        return damaged;
    return {};
}

// Writes the journal's old bytes back over the file and flushes it.
int restore(PageFileOps &ops, int target, int journal, const Journal &j)
{
    QByteArray chunk;
    int64_t from = j.dataOffset;
    for (const Range &range : j.ranges) {
        for (int64_t done = 0; done < range.length; done += chunk.size()) {
            chunk.resize(std::min(kBufferSize, range.length - done));
            int r = readAll(ops, journal, chunk.data(), chunk.size(), from);
            if (r == 0)
                r = writeAll(ops, target, chunk.constData(), chunk.size(), range.offset + done);
            if (r < 0)
                return r;
            from += chunk.size();
        }
    }
    return ops.fsync(target);
}

int removeJournal(PageFileOps &ops, const QString &journalPath)
{
    if (const int r = ops.unlink(nativePath(journalPath)); r < 0)
        return r;
    // Should the removal be lost in a crash, the journal comes back and
    // undoes a finished save: the file is then wholly old, never mixed.
    return syncFolder(ops, folderOf(journalPath));
}

// Puts the file back from the journal a failed save has just written.
// Returns "" when the file is old again and the journal gone.
QString rollBackNow(PageFileOps &ops, int target, int journal, const QString &journalPath)
{
    FileStat st;
    int r = ops.fstat(journal, st);
    if (r < 0)
        return describe(r);
    Journal j;
    if (const QString why = readJournal(ops, journal, st.id.size, j); !why.isEmpty())
        return why;
    r = restore(ops, target, journal, j);
    if (r == 0)
        r = removeJournal(ops, journalPath);
    return r < 0 ? describe(r) : QString();
}

} // namespace

QString journalPathFor(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".veltrano-journal");
}

QString saveChangedPages(const QString &path, const FileIdentity &expected, const ByteChanges &changes, PageFileOps &ops)
{
    Fd target(ops, -1);
    FileStat now;
    if (QString why = openUnchanged(ops, path, PageFileOps::ReadWrite, expected, changes, target, now); !why.isEmpty())
        return why;
    const std::vector<Range> ranges = mergedRanges(changes);
    if (ranges.empty())
        return {};

    const QString journalPath = journalPathFor(path);
    Fd journal(ops, ops.open(nativePath(journalPath), PageFileOps::CreateNew, 0600));
    if (journal.get() == -EEXIST)
        return QStringLiteral("an interrupted save left a journal beside the file (%1); open the file again to "
                              "put it back, or move the journal away")
            .arg(journalPath);
    if (!journal.isOpen())
        return QStringLiteral("cannot create the journal: %1").arg(errorText(journal.get()));
    int r = writeJournal(ops, target.get(), journal.get(), ranges, now.id);
    if (r == 0)
        r = ops.fsync(journal.get());
    if (r == 0)
        r = syncFolder(ops, folderOf(journalPath));
    if (r < 0) {
        // The file has not been touched yet; a partial journal is only clutter.
        ops.unlink(nativePath(journalPath));
        return QStringLiteral("cannot write the journal: %1").arg(describe(r));
    }

    r = writeChanges(ops, target.get(), changes);
    if (r == 0)
        r = ops.fsync(target.get());
    if (r < 0) {
        QString why = QStringLiteral("cannot write the file: %1").arg(describe(r));
        if (const QString rollback = rollBackNow(ops, target.get(), journal.get(), journalPath); !rollback.isEmpty())
            why += QStringLiteral("; it will be put back from its journal when it is next opened (%1)").arg(rollback);
        return why;
    }

    r = ops.unlink(nativePath(journalPath));
    if (r < 0) {
        // A journal that stays would undo this save at the next open; an
        // empty one is read as a save that never touched the file.
        int emptied = ops.ftruncate(journal.get(), 0);
        if (emptied == 0)
            emptied = ops.fsync(journal.get());
        if (emptied == 0)
            return {};
        QString why = QStringLiteral("cannot remove the journal: %1").arg(errorText(r));
        if (const QString rollback = rollBackNow(ops, target.get(), journal.get(), journalPath); !rollback.isEmpty())
            why += QStringLiteral("; the file will be put back when it is next opened");
        return why;
    }
    if (const int synced = syncFolder(ops, folderOf(journalPath)); synced < 0)
        return QStringLiteral("the file was written, but its folder could not be flushed: %1").arg(errorText(synced));
    return {};
}

RecoveryResult recoverInterruptedSave(const QString &path, PageFileOps &ops)
{
    const QString journalPath = journalPathFor(path);
    const auto leftAlone = [&](const QString &why) {
        return RecoveryResult{RecoveryResult::LeftAlone,
                              QStringLiteral("%1 (%2); the file was left as it is").arg(why, journalPath)};
    };
    Fd journal(ops, ops.open(nativePath(journalPath), PageFileOps::ReadOnly));
    // No journal, or no folder for one: nothing was interrupted.
    if (journal.get() == -ENOENT || journal.get() == -ENOTDIR)
        return {};
    if (!journal.isOpen())
        return leftAlone(QStringLiteral("cannot read the journal of an interrupted save: %1").arg(errorText(journal.get())));
    FileStat st;
    if (const int r = ops.fstat(journal.get(), st); r < 0)
        return leftAlone(errorText(r));
    if (st.id.size == 0) {
        // Made by a save that stopped before the file was touched, or that
        // finished but could not remove it.
        if (const int r = removeJournal(ops, journalPath); r < 0)
            return leftAlone(QStringLiteral("cannot remove an empty journal: %1").arg(errorText(r)));
        return {};
    }
    Journal j;
    if (const QString why = readJournal(ops, journal.get(), st.id.size, j); !why.isEmpty())
        return leftAlone(why);

    Fd target(ops, ops.open(nativePath(path), PageFileOps::ReadWrite));
    if (target.get() == -ENOENT)
        return leftAlone(QStringLiteral("the file of the journal is missing"));
    if (!target.isOpen())
        return leftAlone(QStringLiteral("cannot open the file to put it back: %1").arg(errorText(target.get())));
    FileStat now;
    if (const int r = ops.fstat(target.get(), now); r < 0)
        return leftAlone(errorText(r));
    if (now.id.dev != j.target.dev || now.id.ino != j.target.ino || now.id.size != j.target.size)
        return leftAlone(QStringLiteral("the journal belongs to another file"));

    int r = restore(ops, target.get(), journal.get(), j);
    if (r == 0)
        r = removeJournal(ops, journalPath);
    if (r < 0)
        return {RecoveryResult::Failed,
                QStringLiteral("the file could not be put back as it was before an interrupted save: %1; "
                               "its journal was kept (%2)")
                    .arg(describe(r), journalPath)};
    return {RecoveryResult::RolledBack, {}};
}

namespace {

bool kernelCannotHelp(int64_t r)
{
    return r == -ENOSYS || r == -EXDEV || r == -EOPNOTSUPP || r == -EINVAL;
}

// Copies [from, to) of `in` to the same place in `out`, in the kernel until
// it says it cannot.
int copyRange(PageFileOps &ops, int in, int out, int64_t from, int64_t to, bool &inKernel)
{
    while (inKernel && from < to) {
        const int64_t n = ops.copyFileRange(in, from, out, from, to - from);
        if (n == 0)
            return kEndedEarly;
        if (n < 0 && !kernelCannotHelp(n))
            return int(n);
        inKernel = n > 0;
        from += std::max<int64_t>(n, 0);
    }
    QByteArray chunk;
    for (; from < to; from += chunk.size()) {
        chunk.resize(std::min(kBufferSize, to - from));
        int r = readAll(ops, in, chunk.data(), chunk.size(), from);
        if (r == 0)
            r = writeAll(ops, out, chunk.constData(), chunk.size(), from);
        if (r < 0)
            return r;
    }
    return 0;
}

// Copies the first `size` bytes of `in` to the empty file `out`. Holes stay
// holes: the copy is first made as long as the source, then only the
// source's data is copied into it.
int copyFile(PageFileOps &ops, int in, int out, int64_t size)
{
    if (const int r = ops.ftruncate(out, size); r < 0)
        return r;
    bool inKernel = true;
    for (int64_t at = 0; at < size;) {
        int64_t start = ops.seek(in, at, PageFileOps::NextData);
        if (start == -ENXIO)
            break; // only a hole is left
        int64_t end = size;
        if (start < 0 && !kernelCannotHelp(start))
            return int(start);
        if (start < 0) {
            start = at;
        } else if (const int64_t hole = ops.seek(in, start, PageFileOps::NextHole); hole >= 0) {
            end = std::min(hole, size);
        } else if (!kernelCannotHelp(hole)) {
            return int(hole);
        }
        if (start >= size)
            break;
        if (const int r = copyRange(ops, in, out, start, end, inKernel); r < 0)
            return r;
        at = end;
    }
    return 0;
}

} // namespace

QString saveCopyWithChanges(const QString &source, const FileIdentity &expected, const QString &target,
                            const ByteChanges &changes, PageFileOps &ops)
{
    if (target.isEmpty())
        return QStringLiteral("no file name");
    Fd in(ops, -1);
    FileStat now;
    if (QString why = openUnchanged(ops, source, PageFileOps::ReadOnly, expected, changes, in, now); !why.isEmpty())
        return why;

    FileStat existing;
    const int exists = ops.stat(nativePath(target), existing);
    if (exists < 0 && exists != -ENOENT)
        return errorText(exists);
    if (exists == 0 && existing.isDirectory)
        return QStringLiteral("a folder of that name exists");

    const QFileInfo targetInfo(target);
    QString tempPath;
    int created = -EEXIST;
    for (int attempt = 0; attempt < 16 && created == -EEXIST; ++attempt) {
        tempPath = targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName()
            + QStringLiteral(".veltrano-") + QString::number(QRandomGenerator::global()->generate64(), 36);
        // A new file gets the source's mode less the user's umask, as a copy would.
        created = ops.open(nativePath(tempPath), PageFileOps::CreateNew, now.mode & 0777);
    }
    Fd out(ops, created);
    if (!out.isOpen())
        return QStringLiteral("cannot create a file beside the target: %1").arg(errorText(created));

    int r = copyFile(ops, in.get(), out.get(), now.id.size);
    if (r == 0)
        r = writeChanges(ops, out.get(), changes);
    if (r == 0 && exists == 0)
        r = ops.fchmod(out.get(), existing.mode & 0777);
    if (r == 0)
        r = ops.fsync(out.get());
    QString why = r < 0 ? describe(r) : QString();
    if (why.isEmpty()) {
        FileStat after;
        r = ops.fstat(in.get(), after);
        if (r < 0)
            why = errorText(r);
        else if (after.id != now.id)
            why = QStringLiteral("the file was changed by another program while it was copied");
    }
    if (why.isEmpty()) {
        r = ops.rename(nativePath(tempPath), nativePath(target));
        if (r == 0)
            return syncFolder(ops, targetInfo.absolutePath()) < 0
                ? QStringLiteral("the file was written, but its folder could not be flushed")
                : QString();
        why = errorText(r);
    }
    ops.unlink(nativePath(tempPath));
    return why;
}
