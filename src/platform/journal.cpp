#include "journal.h"

#include "diskname.h"
#include "fileops.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The journal, all numbers little-endian:
//   "VELTJRNL", u32 version, u32 range count,
//   u64 device, u64 inode, u64 size of the file it belongs to,
//   (version 2) u32 flags, u32 zero, u64 checksum of the new bytes,
//   per range: u64 offset, u64 length (sorted, disjoint, inside the file),
//   the old bytes of every range in that order,
//   u64 checksum of everything before it.
// The checksum comes last so that a journal cut short anywhere fails it.
// Version 1 journals (no flags, a checksum taken a byte at a time) are still
// put back.
constexpr char kMagic[8] = {'V', 'E', 'L', 'T', 'J', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 2;
constexpr int64_t kHeaderV1 = 40;
constexpr int64_t kHeaderV2 = 56;
constexpr int64_t kRangeEntry = 16;
constexpr int64_t kTrailer = 8;
constexpr int64_t kPiece = int64_t(1) << 20;
constexpr int64_t kTablePiece = 4096; // entries read at once
constexpr uint32_t kWholeFile = 1;
constexpr uint32_t kHasNewSum = 2;

// FNV-1a over 64-bit words (version 2), or over single bytes (version 1):
// cheap enough to take over a whole file's old bytes as they are written.
class Checksum
{
public:
    explicit Checksum(bool wide = true) : m_wide(wide) {}

    void add(const char *data, int64_t len)
    {
        if (!m_wide) {
            for (int64_t i = 0; i < len; ++i)
                mix(uint8_t(data[i]));
            return;
        }
        while (m_carried > 0 && m_carried < 8 && len > 0) {
            m_carry[m_carried++] = *data++;
            --len;
        }
        if (m_carried == 8) {
            mix(qFromLittleEndian<uint64_t>(m_carry));
            m_carried = 0;
        }
        for (; len >= 8; data += 8, len -= 8)
            mix(qFromLittleEndian<uint64_t>(data));
        std::memcpy(m_carry + m_carried, data, size_t(len));
        m_carried += int(len);
    }

    uint64_t value() const
    {
        Checksum tail = *this;
        for (int i = 0; i < m_carried; ++i)
            tail.mix(uint8_t(m_carry[i]));
        return tail.m_hash;
    }

private:
    void mix(uint64_t v)
    {
        m_hash ^= v;
        m_hash *= 0x100000001b3ull;
    }

    bool m_wide;
    uint64_t m_hash = 0xcbf29ce484222325ull;
    char m_carry[8] = {};
    int m_carried = 0;
};

struct Parsed {
    uint32_t version = kVersion;
    int64_t count = 0;
    FileIdentity file; // device, inode and size only
    uint32_t flags = 0;
    uint64_t newSum = 0;
    int64_t tableAt = 0;
    int64_t dataAt = 0;
};

enum class Verdict { Good, Finished, Incomplete, Damaged };

QString shown(const QByteArray &path)
{
    return DiskName::forDisplay(DiskName::fromDisk(path));
}

// Appends to the journal through one buffer, summing what it writes.
class Writer
{
public:
    Writer(FileOps &ops, int fd) : m_ops(ops), m_fd(fd) { m_buffer.reserve(kPiece); }

    int append(const void *data, int64_t len)
    {
        m_sum.add(static_cast<const char *>(data), len);
        m_buffer.append(static_cast<const char *>(data), qsizetype(len));
        return m_buffer.size() >= kPiece ? flush() : 0;
    }
    template<typename T>
    int appendLe(T v)
    {
        const T le = qToLittleEndian(v);
        return append(&le, sizeof le);
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
        const int r = FileIo::writeAll(m_ops, m_fd, m_buffer.constData(), m_buffer.size(), m_offset);
        m_offset += m_buffer.size();
        m_buffer.clear();
        return r;
    }

    FileOps &m_ops;
    int m_fd;
    int64_t m_offset = 0;
    QByteArray m_buffer;
    Checksum m_sum;
};

// Calls `each(offset, length)` for every range of the journal's table, read
// a piece at a time. Stops at the first result that is not 0.
template<typename Each>
int forEachRange(FileOps &ops, int fd, const Parsed &j, Each each)
{
    QByteArray table;
    for (int64_t first = 0; first < j.count; first += kTablePiece) {
        const int64_t n = std::min(kTablePiece, j.count - first);
        table.resize(qsizetype(n * kRangeEntry));
        if (const int r = FileIo::readAll(ops, fd, table.data(), table.size(), j.tableAt + first * kRangeEntry); r < 0)
            return r;
        for (int64_t i = 0; i < n; ++i) {
            const char *entry = table.constData() + i * kRangeEntry;
            const uint64_t offset = qFromLittleEndian<uint64_t>(entry);
            const uint64_t length = qFromLittleEndian<uint64_t>(entry + 8);
            if (const int r = each(offset, length); r != 0)
                return r;
        }
    }
    return 0;
}

// Reads `length` bytes of `fd` from `offset` a piece at a time and hands
// each to `each(bytes, len, at)`, `at` counting from 0. Stops at the first
// result that is not 0.
template<typename Each>
int forEachPiece(FileOps &ops, int fd, int64_t offset, int64_t length, Each each)
{
    QByteArray piece;
    for (int64_t done = 0; done < length; done += piece.size()) {
        piece.resize(qsizetype(std::min(kPiece, length - done)));
        int r = FileIo::readAll(ops, fd, piece.data(), piece.size(), offset + done);
        if (r == 0)
            r = each(piece.constData(), int64_t(piece.size()), done);
        if (r != 0)
            return r;
    }
    return 0;
}

constexpr int kBadRange = 1;
constexpr int kTooLong = 2;

// Reads and checks the whole journal, a piece at a time.
Verdict verify(FileOps &ops, int fd, int64_t size, Parsed &j, QString *why)
{
    if (size == 0)
        return Verdict::Finished;
    const auto incomplete = [&] {
        *why = QStringLiteral("the journal was cut short before the save changed the file");
        return Verdict::Incomplete;
    };
    const auto damaged = [&](const QString &what) {
        *why = what;
        return Verdict::Damaged;
    };
    char header[kHeaderV2] = {};
    const int64_t headerRead = std::min(size, kHeaderV2);
    if (const int r = FileIo::readAll(ops, fd, header, headerRead, 0); r < 0)
        return damaged(FileIo::reason(r));
    if (size < int64_t(sizeof kMagic))
        return incomplete();
    static const char kCleared[8] = {};
    if (std::memcmp(header, kCleared, sizeof kCleared) == 0)
        return Verdict::Finished;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0)
        return damaged(QStringLiteral("the journal is damaged"));
    if (size < 12)
        return incomplete();
    j.version = qFromLittleEndian<uint32_t>(header + 8);
    if (j.version != 1 && j.version != kVersion)
        return damaged(QStringLiteral("the journal was written by another version of the program"));
    const int64_t headerLength = j.version == 1 ? kHeaderV1 : kHeaderV2;
    if (size < headerLength + kTrailer)
        return incomplete();
    j.count = qFromLittleEndian<uint32_t>(header + 12);
    j.file.device = qFromLittleEndian<uint64_t>(header + 16);
    j.file.inode = qFromLittleEndian<uint64_t>(header + 24);
    j.file.size = int64_t(qFromLittleEndian<uint64_t>(header + 32));
    if (j.version == kVersion) {
        j.flags = qFromLittleEndian<uint32_t>(header + 40);
        j.newSum = qFromLittleEndian<uint64_t>(header + 48);
    }
    if (j.file.size < 0 || (j.flags & ~(kWholeFile | kHasNewSum)) != 0)
        return damaged(QStringLiteral("the journal is damaged"));
    // This program writes every byte of its journals; a hole means someone
    // else made it, perhaps to claim more than is there.
    if (const int64_t hole = ops.seek(fd, 0, FileOps::NextHole); hole >= 0 && hole < size)
        return damaged(QStringLiteral("the journal has holes, so this program did not write it"));
    j.tableAt = headerLength;
    j.dataAt = headerLength + j.count * kRangeEntry;
    if (j.dataAt + kTrailer > size)
        return incomplete();

    int64_t data = 0;
    int64_t previousEnd = 0;
    const int walked = forEachRange(ops, fd, j, [&](uint64_t offset, uint64_t length) {
        if (length == 0 || offset < uint64_t(previousEnd) || offset > uint64_t(j.file.size)
            || length > uint64_t(j.file.size) - offset)
            return kBadRange;
        previousEnd = int64_t(offset + length);
        data += int64_t(length);
        return data > size ? kTooLong : 0;
    });
    if (walked == kBadRange)
        return damaged(QStringLiteral("the journal is damaged"));
    if (walked < 0)
        return damaged(FileIo::reason(walked));
    const int64_t expected = j.dataAt + data + kTrailer;
    if (walked == kTooLong || expected > size)
        return incomplete();
    if (expected < size)
        return damaged(QStringLiteral("the journal is damaged"));

    Checksum sum(j.version == kVersion);
    const int64_t summed = size - kTrailer;
    if (const int r = forEachPiece(ops, fd, 0, summed, [&](const char *bytes, int64_t len, int64_t) {
            sum.add(bytes, len);
            return 0;
        });
        r < 0)
        return damaged(FileIo::reason(r));
    char trailer[kTrailer];
    if (const int r = FileIo::readAll(ops, fd, trailer, kTrailer, summed); r < 0)
        return damaged(FileIo::reason(r));
    if (qFromLittleEndian<uint64_t>(trailer) != sum.value())
        return damaged(QStringLiteral("the journal is damaged"));
    return Verdict::Good;
}

// Writes the journal's old bytes back over the file and flushes it.
int restore(FileOps &ops, int target, int journal, const Parsed &j)
{
    if (j.flags & kWholeFile) {
        // Whatever the save left past the old end, or in the old holes, goes.
        int r = ops.ftruncate(target, 0);
        if (r == 0)
            r = ops.ftruncate(target, j.file.size);
        if (r < 0)
            return r;
    }
    int64_t from = j.dataAt;
    const int r = forEachRange(ops, journal, j, [&](uint64_t offset, uint64_t length) {
        const int r = forEachPiece(ops, journal, from, int64_t(length), [&](const char *bytes, int64_t len, int64_t at) {
            return FileIo::writeAll(ops, target, bytes, len, int64_t(offset) + at);
        });
        from += int64_t(length);
        return r;
    });
    return r < 0 ? r : ops.fsync(target);
}

// Whether the file's ranges hold exactly the bytes the save meant to leave.
bool holdsNewBytes(FileOps &ops, int target, int journal, const Parsed &j)
{
    Checksum sum;
    const int r = forEachRange(ops, journal, j, [&](uint64_t offset, uint64_t length) {
        return forEachPiece(ops, target, int64_t(offset), int64_t(length), [&](const char *bytes, int64_t len, int64_t) {
            sum.add(bytes, len);
            return 0;
        });
    });
    return r == 0 && sum.value() == j.newSum;
}

int removeDurably(FileOps &ops, const QByteArray &path)
{
    if (const int r = ops.unlink(path); r < 0)
        return r;
    // Should the removal be lost in a crash, the journal would come back
    // and undo a finished save.
    return FileIo::flushFolder(ops, FileIo::folderOf(path));
}

// "" when there is neither a state folder nor a home to put one in.
QByteArray stateFolder()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/'))
        return state + "/veltrano";
    const QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/') || home == "/")
        return {};
    return home + "/.local/state/veltrano";
}

// Makes the state folder (and what leads to it) private to this user.
QString prepareStateFolder(FileOps &ops)
{
    const QByteArray folder = stateFolder();
    if (folder.isEmpty())
        return QStringLiteral("there is no home folder for a journal");
    QList<QByteArray> missing;
    for (QByteArray at = folder; at != "/"; at = FileIo::folderOf(at)) {
        FileStatus st;
        if (ops.lstat(at, st) == 0)
            break;
        missing.prepend(at);
    }
    for (const QByteArray &at : missing) {
        if (const int r = ops.mkdir(at, 0700); r < 0 && r != -EEXIST)
            return QStringLiteral("cannot make the folder %1: %2").arg(shown(at), FileIo::reason(r));
        FileIo::flushFolder(ops, FileIo::folderOf(at));
    }
    FileStatus st;
    if (const int r = ops.lstat(folder, st); r < 0)
        return FileIo::reason(r);
    if (!st.isFolder() || st.owner != ops.user() || (st.permissions() & 022) != 0)
        return QStringLiteral("the folder %1 is not private to this user").arg(shown(folder));
    return {};
}

QString interruptedSaveLeft(const QByteArray &journal)
{
    return QStringLiteral("an interrupted save left a journal (%1); open the file again to put it back, or move "
                          "the journal away")
        .arg(shown(journal));
}

} // namespace

QByteArray Journal::besidePath(const QByteArray &path)
{
    return FileIo::folderOf(path) + "/." + FileIo::baseOf(path) + ".veltrano-journal";
}

QByteArray Journal::statePath(const FileIdentity &file)
{
    const QByteArray folder = stateFolder();
    if (folder.isEmpty())
        return {};
    return folder + "/journal-" + QByteArray::number(file.device) + '-' + QByteArray::number(file.inode);
}

Journal::~Journal()
{
    // A journal still here belongs to a save that did not end: it stays on
    // disk for the next open to resolve.
    if (m_fd >= 0)
        m_ops.close(m_fd);
}

uint64_t Journal::checksumOf(const std::vector<std::pair<int64_t, QByteArray>> &changes)
{
    Checksum sum;
    for (const auto &change : changes)
        sum.add(change.second.constData(), change.second.size());
    return sum.value();
}

QString Journal::create(const QByteArray &path, int target, const FileStatus &file, const std::vector<Range> &ranges,
                        bool wholeFile, uint64_t newSum)
{
    const int flags = FileOps::ReadWrite | FileOps::CreateNew | FileOps::NoFollow;
    QByteArray where;
    int fd = -ENOENT;
    // Every name of a file with several links must find its journal.
    if (file.links <= 1) {
        where = besidePath(path);
        fd = m_ops.open(where, flags, 0600);
        if (fd == -EEXIST)
            return interruptedSaveLeft(where);
        if (fd < 0 && fd != -EACCES && fd != -EPERM && fd != -EROFS)
            return QStringLiteral("cannot create the journal: %1").arg(FileIo::reason(fd));
    }
    if (fd < 0) {
        if (QString why = prepareStateFolder(m_ops); !why.isEmpty())
            return QStringLiteral("cannot create the journal: %1").arg(why);
        where = statePath(file.id);
        fd = m_ops.open(where, flags, 0600);
        if (fd == -EEXIST)
            return interruptedSaveLeft(where);
        if (fd < 0)
            return QStringLiteral("cannot create the journal: %1").arg(FileIo::reason(fd));
    }
    m_fd = fd;
    m_path = where;
    m_durableRemoval = newSum == 0;

    Writer out(m_ops, fd);
    int r = out.append(kMagic, sizeof kMagic);
    if (r == 0) r = out.appendLe(kVersion);
    if (r == 0) r = out.appendLe(uint32_t(ranges.size()));
    if (r == 0) r = out.appendLe(file.id.device);
    if (r == 0) r = out.appendLe(file.id.inode);
    if (r == 0) r = out.appendLe(uint64_t(file.id.size));
    if (r == 0) r = out.appendLe(uint32_t((wholeFile ? kWholeFile : 0) | (newSum ? kHasNewSum : 0)));
    if (r == 0) r = out.appendLe(uint32_t(0));
    if (r == 0) r = out.appendLe(newSum);
    for (const Range &range : ranges) {
        if (r == 0) r = out.appendLe(uint64_t(range.offset));
        if (r == 0) r = out.appendLe(uint64_t(range.length));
    }
    for (const Range &range : ranges) {
        if (r == 0)
            r = forEachPiece(m_ops, target, range.offset, range.length,
                             [&](const char *bytes, int64_t len, int64_t) { return out.append(bytes, len); });
    }
    if (r == 0) r = out.finish();
    if (r == 0) r = m_ops.fsync(fd);
    if (r == 0) r = FileIo::flushFolder(m_ops, FileIo::folderOf(where));
    if (r < 0) {
        // The file has not been touched yet; a partial journal is only clutter.
        m_ops.unlink(where);
        m_ops.close(fd);
        m_fd = -1;
        return QStringLiteral("cannot write the journal: %1").arg(FileIo::reason(r));
    }
    return {};
}

int Journal::rollBack(int target)
{
    FileStatus st;
    if (const int r = m_ops.fstat(m_fd, st); r < 0)
        return r;
    Parsed j;
    QString why;
    if (verify(m_ops, m_fd, st.id.size, j, &why) != Verdict::Good)
        return -EIO;
    if (const int r = restore(m_ops, target, m_fd, j); r < 0)
        return r;
    const int r = removeDurably(m_ops, m_path);
    m_ops.close(m_fd);
    m_fd = -1;
    return r;
}

Journal::Finish Journal::finish(QString *why)
{
    const int r = m_ops.unlink(m_path);
    if (r == -ENOENT) {
        *why = QStringLiteral("the journal disappeared during the save; another program may have put the file back");
        return Finish::Gone;
    }
    if (r < 0) {
        // A journal that stays would undo this save at the next open; an
        // empty one is read as a save that had finished.
        if (m_ops.ftruncate(m_fd, 0) == 0 && m_ops.fsync(m_fd) == 0)
            return Finish::Done;
        *why = QStringLiteral("cannot remove the journal: %1").arg(FileIo::reason(r));
        return Finish::Stuck;
    }
    m_ops.close(m_fd);
    m_fd = -1;
    // A save that can tell its own finished journal (by the new bytes' sum)
    // need not wait for the removal to reach the disk.
    if (m_durableRemoval) {
        if (const int synced = FileIo::flushFolder(m_ops, FileIo::folderOf(m_path)); synced < 0) {
            *why = QStringLiteral("the file was written, but its folder could not be flushed: %1")
                       .arg(FileIo::reason(synced));
            return Finish::Unflushed;
        }
    }
    return Finish::Done;
}

Journal::Recovery Journal::recover(FileOps &ops, const QByteArray &path)
{
    FileStatus file;
    const bool fileExists = ops.stat(path, file) == 0;
    QByteArray where = besidePath(path);
    FileStatus seen;
    int r = ops.lstat(where, seen);
    if ((r == -ENOENT || r == -ENOTDIR) && fileExists) {
        if (const QByteArray kept = statePath(file.id); !kept.isEmpty()) {
            where = kept;
            r = ops.lstat(where, seen);
        }
    }
    // No journal, or no folder for one: nothing was interrupted.
    if (r == -ENOENT || r == -ENOTDIR)
        return {};
    const auto leftAlone = [&](const QString &why) {
        return Recovery{Recovery::LeftAlone, QStringLiteral("%1 (%2); the file was left as it is").arg(why, shown(where))};
    };
    if (r < 0)
        return leftAlone(QStringLiteral("cannot examine the journal of an interrupted save: %1").arg(FileIo::reason(r)));
    if (!seen.isRegular())
        return leftAlone(QStringLiteral("the journal is not a regular file"));
    if (!fileExists)
        return leftAlone(QStringLiteral("the file of the journal is missing"));
    if (seen.owner != file.owner && seen.owner != ops.user())
        return leftAlone(QStringLiteral("the journal belongs to another user"));
    if ((seen.permissions() & 022) != 0)
        return leftAlone(QStringLiteral("other users may write the journal"));

    FileHandle target(ops, ops.open(path, FileOps::ReadWrite | FileOps::NoFollow));
    if (!target.isOpen())
        return leftAlone(QStringLiteral("cannot open the file to put it back: %1").arg(FileIo::reason(target.get())));
    r = ops.lock(target.get());
    if (r == -EAGAIN)
        return {Recovery::Busy, QStringLiteral("another program is saving it; it was opened as it is now")};
    if (r < 0 && r != -ENOLCK && r != -ENOSYS && r != -EINVAL)
        return leftAlone(QStringLiteral("cannot lock the file: %1").arg(FileIo::reason(r)));
    FileHandle journal(ops, ops.open(where, FileOps::Read | FileOps::NoFollow));
    if (!journal.isOpen())
        return leftAlone(QStringLiteral("cannot read the journal: %1").arg(FileIo::reason(journal.get())));
    FileStatus opened, now;
    if ((r = ops.fstat(journal.get(), opened)) < 0 || (r = ops.fstat(target.get(), now)) < 0)
        return leftAlone(FileIo::reason(r));
    if (!opened.id.isSameFile(seen.id))
        return leftAlone(QStringLiteral("the journal was replaced while it was read"));

    Parsed j;
    QString why;
    switch (verify(ops, journal.get(), opened.id.size, j, &why)) {
    case Verdict::Finished:
    case Verdict::Incomplete:
        if (const int removed = removeDurably(ops, where); removed < 0)
            return leftAlone(QStringLiteral("cannot remove a journal that was never used: %1").arg(FileIo::reason(removed)));
        if (why.isEmpty())
            return {};
        return {Recovery::Cleared, why + QStringLiteral("; the file is as it was before that save")};
    case Verdict::Damaged:
        return leftAlone(why);
    case Verdict::Good:
        break;
    }
    if (!now.id.isSameFile(j.file) || (!(j.flags & kWholeFile) && now.id.size != j.file.size))
        return leftAlone(QStringLiteral("the journal belongs to another file"));
    if ((j.flags & kHasNewSum) && now.id.size == j.file.size && holdsNewBytes(ops, target.get(), journal.get(), j)) {
        // The save had finished; only the journal's removal was lost.
        removeDurably(ops, where);
        return {};
    }
    r = restore(ops, target.get(), journal.get(), j);
    if (r == 0)
        r = removeDurably(ops, where);
    if (r < 0)
        return {Recovery::Failed,
                QStringLiteral("the file could not be put back as it was before an interrupted save: %1; its journal "
                               "was kept (%2)")
                    .arg(FileIo::reason(r), shown(where))};
    return {Recovery::RolledBack, {}};
}
