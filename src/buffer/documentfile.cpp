#include "documentfile.h"

#include "diskfile.h"
#include "fileops.h"
#include "journal.h"
#include "pagedfile.h"
#include "savetarget.h"

#include <algorithm>
#include <cerrno>

namespace {

// Changed bytes are read in pieces that stay in the store's memory: a page
// store reads long ranges from the disk, where the changes are not.
constexpr int64_t kChangePiece = PagedFile::kPageSize;

// A file read in pages, copied whole with its changes laid over it.
class PagedContent final : public FileContent
{
public:
    PagedContent(const PagedFile &file, const ByteChanges &changes) : m_file(file), m_changes(changes) {}

    int64_t size() const override { return m_file.size(); }

    int writeTo(FileOps &ops, int fd, QString *why) const override
    {
        FileHandle in(ops, ops.open(m_file.path(), FileOps::Read));
        if (!in.isOpen())
            return in.get();
        const auto unchanged = [&] {
            FileStatus now;
            if (ops.fstat(in.get(), now) == 0 && now.id == m_file.identity())
                return true;
            *why = FileSave::changeSince(m_file.identity(), &now.id);
            return false;
        };
        if (!unchanged())
            return -EIO;
        FileStatus out;
        if (const int r = ops.fstat(fd, out); r < 0)
            return r;
        if (out.id.isSameFile(m_file.identity())) {
            *why = QStringLiteral("a file read in pages cannot be copied onto itself");
            return -EINVAL;
        }
        int r = FileSave::copyData(ops, in.get(), fd, m_file.size());
        for (const auto &[offset, bytes] : m_changes) {
            if (r == 0)
                r = FileIo::writeAll(ops, fd, bytes.constData(), bytes.size(), offset);
        }
        if (r == 0 && !unchanged())
            return -EIO;
        return r;
    }

private:
    const PagedFile &m_file;
    const ByteChanges &m_changes;
};

} // namespace

DocumentFile::DocumentFile(FileOps &ops, int64_t wholeUpTo)
    : m_ops(ops)
    , m_wholeUpTo(std::min(wholeUpTo, ByteStore::kMaxSize))
    , m_store(std::make_shared<ByteStore>())
{
}

DocumentFile::DocumentFile() : DocumentFile(FileOps::system()) {}

DocumentFile::~DocumentFile() = default;

void DocumentFile::adopt(std::shared_ptr<ByteSource> store, uint8_t *bytes)
{
    m_store = std::move(store);
    m_bytes = bytes;
    m_size = m_store->size();
    m_changed.clear();
    m_journalLeft = false;
}

PagedFile *DocumentFile::paged() const
{
    return m_bytes ? nullptr : dynamic_cast<PagedFile *>(m_store.get());
}

bool DocumentFile::allocate(int64_t size)
{
    auto fresh = std::make_shared<ByteStore>();
    if (!fresh->allocate(size))
        return false;
    uint8_t *bytes = fresh->data();
    adopt(std::move(fresh), bytes);
    m_name.clear();
    m_absolute.clear();
    m_identity.reset();
    return true;
}

bool DocumentFile::write(int64_t pos, uint8_t value)
{
    uint8_t now = 0;
    if (!read(pos, 1, &now))
        return false;
    if (now == value)
        return true;
    if (!m_store->write(pos, value))
        return false;
    // Kept as disjoint ranges; a byte next to a range joins it.
    auto next = m_changed.upper_bound(pos);
    if (next != m_changed.begin()) {
        auto before = std::prev(next);
        if (before->second >= pos + 1)
            return true;
        if (before->second == pos) {
            before->second = pos + 1;
            if (next != m_changed.end() && next->first == pos + 1) {
                before->second = next->second;
                m_changed.erase(next);
            }
            return true;
        }
    }
    if (next != m_changed.end() && next->first == pos + 1) {
        const int64_t end = next->second;
        m_changed.erase(next);
        m_changed.emplace(pos, end);
        return true;
    }
    m_changed.emplace(pos, pos + 1);
    return true;
}

ByteChanges DocumentFile::changes() const
{
    ByteChanges out;
    for (const auto &[first, end] : m_changed) {
        QByteArray bytes(qsizetype(end - first), Qt::Uninitialized);
        for (int64_t at = first; at < end; at += kChangePiece) {
            const int64_t n = std::min(kChangePiece, end - at);
            read(at, n, reinterpret_cast<uint8_t *>(bytes.data() + (at - first)));
        }
        out.emplace_back(first, std::move(bytes));
    }
    return out;
}

void DocumentFile::markSaved(const FileIdentity &now)
{
    if (PagedFile *file = paged())
        file->markSaved(now);
    m_changed.clear();
    m_identity = now;
    m_journalLeft = false;
}

DocumentFile::Opened DocumentFile::load(const QString &name)
{
    Opened out;
    if (name.isEmpty()) {
        out.failure = QStringLiteral("no file name");
        return out;
    }
    const QByteArray absolute = SaveTargets::absolute(name);
    QByteArray path;
    if (out.failure = SaveTargets::followLinks(m_ops, absolute, &path); !out.failure.isEmpty())
        return out;
    // A journal beside the file means a save of it was cut short: the file
    // goes back to how it was before that save, before anything reads it.
    const Journal::Recovery recovery = Journal::recover(m_ops, path);
    out.notice = recovery.outcome == Journal::Recovery::RolledBack
        ? QStringLiteral("the file was put back as it was before that save")
        : recovery.reason;

    FileStatus st;
    if (const int r = m_ops.stat(path, st); r < 0) {
        out.failure = FileIo::reason(r);
        return out;
    }
    FileIdentity identity;
    if (st.isRegular() && st.id.size > m_wholeUpTo) {
        std::unique_ptr<PagedFile> file = PagedFile::open(m_ops, path, &out.failure);
        if (!file)
            return out;
        identity = file->identity();
        adopt(std::shared_ptr<PagedFile>(std::move(file)), nullptr);
    } else {
        auto fresh = std::make_shared<ByteStore>();
        // Keeps what was read so far across a change of size, as realloc does.
        const auto resize = [&fresh](int64_t size) -> uint8_t * {
            ByteStore next;
            if (!next.allocate(size))
                return nullptr;
            const int64_t kept = std::min<int64_t>(size, fresh->size());
            if (kept > 0)
                std::memcpy(next.data(), fresh->data(), size_t(kept));
            fresh->swap(next);
            return fresh->data();
        };
        if (out.failure = DiskFile::readWhole(m_ops, path, m_wholeUpTo, resize, &identity); !out.failure.isEmpty())
            return out;
        uint8_t *bytes = fresh->data();
        adopt(std::move(fresh), bytes);
    }
    m_name = name;
    m_absolute = absolute;
    m_identity = identity;
    return out;
}

QString DocumentFile::save(const QString &name, bool saveAs)
{
    if (name.isEmpty())
        return QStringLiteral("no file name");
    // The document's own name stands for the file it was opened as, even
    // after the working folder moved.
    const bool ownName = m_identity && name == m_name;
    const QByteArray absolute = ownName ? m_absolute : SaveTargets::absolute(name);
    SaveTarget target;
    if (QString why = SaveTargets::resolve(m_ops, absolute, &target); !why.isEmpty())
        return why;
    bool ownFile = m_identity && target.exists && target.status.id.isSameFile(*m_identity);
    if (ownFile && m_journalLeft) {
        // The last save could not undo itself; its journal does it now.
        const Journal::Recovery recovery = Journal::recover(m_ops, target.path);
        if (recovery.outcome != Journal::Recovery::RolledBack && recovery.outcome != Journal::Recovery::None)
            return recovery.reason;
        if (QString why = SaveTargets::resolve(m_ops, absolute, &target); !why.isEmpty())
            return why;
        ownFile = target.exists && target.status.id.isSameFile(*m_identity);
        if (ownFile)
            m_identity = target.status.id;
        m_journalLeft = false;
    }

    SaveOutcome outcome;
    const bool patch = ownFile && target.status.id == *m_identity;
    if (patch) {
        outcome = FileSave::patchInPlace(m_ops, target.path, *m_identity, changes());
    } else if (ownName && !saveAs) {
        return FileSave::changeSince(*m_identity, target.exists ? &target.status.id : nullptr);
    } else if (const PagedFile *file = paged()) {
        // Pages of a file that changed on disk would be copied from someone
        // else's bytes, and pages that could not be read cannot be copied.
        if (ownFile || file->fault() == Fault::ChangedOnDisk)
            return FileSave::changeSince(file->identity(), ownFile ? &target.status.id : nullptr);
        if (file->fault() != Fault::None)
            return QStringLiteral("part of the file could not be read");
        const ByteChanges changed = changes();
        outcome = FileSave::writeComplete(m_ops, target, PagedContent(*file, changed));
    } else {
        outcome = FileSave::writeComplete(m_ops, target, MemoryContent(m_bytes, m_size));
    }

    if (!outcome.failure.isEmpty()) {
        // Back as it was, the file is still the document's and its edits can
        // be saved again; a journal left behind is played back first.
        if (ownFile && outcome.file)
            m_identity = outcome.file;
        if (ownFile)
            m_journalLeft = outcome.journalLeft;
        return outcome.failure;
    }
    if (!outcome.file) {
        FileStatus now;
        if (m_ops.stat(target.path, now) < 0)
            return {}; // saved, but the file cannot be looked at: the edits stay pending
        outcome.file = now.id;
    }
    if (patch) {
        markSaved(*outcome.file);
        return {};
    }
    // The written file is the document's from now on, so the next plain save
    // patches it. A file read in pages is read from the copy.
    if (paged()) {
        QString why;
        std::unique_ptr<PagedFile> copy = PagedFile::open(m_ops, target.path, &why);
        if (!copy || copy->identity() != *outcome.file)
            return {}; // saved; the edits stay pending against the old file
        adopt(std::shared_ptr<PagedFile>(std::move(copy)), nullptr);
    }
    m_name = name;
    m_absolute = absolute;
    markSaved(*outcome.file);
    return {};
}
