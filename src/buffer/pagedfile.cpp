#include "pagedfile.h"

#include <algorithm>
#include <cstring>

namespace {
// Reads at least this long skip the cache: a search chunk would only evict
// the pages the view is using.
constexpr int64_t kDirectRead = 4 * PagedFile::kPageSize;
} // namespace

std::unique_ptr<PagedFile> PagedFile::open(FileOps &ops, const QByteArray &path, QString *why)
{
    std::unique_ptr<PositionalFile> file = PositionalFile::open(ops, path, why);
    if (!file)
        return nullptr;
    FileIdentity identity;
    if (!file->identity(&identity)) {
        *why = QStringLiteral("the file cannot be examined");
        return nullptr;
    }
    return std::unique_ptr<PagedFile>(new PagedFile(std::move(file), identity));
}

PagedFile::PagedFile(std::unique_ptr<PositionalFile> file, const FileIdentity &identity)
    : m_file(std::move(file))
    , m_identity(identity)
    , m_cache(kCachePages)
{
}

PagedFile::~PagedFile() = default;

int64_t PagedFile::pageLength(int64_t page) const
{
    return std::min(kPageSize, size() - page * kPageSize);
}

void PagedFile::fail(Fault why) const
{
    Fault none = Fault::None;
    m_fault.compare_exchange_strong(none, why);
}

bool PagedFile::stillSame() const
{
    FileIdentity now, named;
    if (!m_file->identity(&now) || !m_file->identityOfPath(&named) || now != m_identity || named != m_identity) {
        fail(Fault::ChangedOnDisk);
        return false;
    }
    return true;
}

bool PagedFile::readDisk(int64_t pos, int64_t len, uint8_t *dst) const
{
    if (m_fault.load() != Fault::None || !stillSame())
        return false;
    const int64_t n = m_file->readAt(pos, len, dst);
    if (n != len) {
        fail(Fault::ReadFailed);
        return false;
    }
    return true;
}

const uint8_t *PagedFile::pageBytes(int64_t page) const
{
    if (const auto it = m_overlay.find(page); it != m_overlay.end())
        return reinterpret_cast<const uint8_t *>(it->second.constData());
    Slot *oldest = &m_cache.front();
    for (Slot &slot : m_cache) {
        if (slot.page == page) {
            slot.lastUse = ++m_clock;
            return slot.bytes.data();
        }
        if (slot.lastUse < oldest->lastUse)
            oldest = &slot;
    }
    oldest->bytes.resize(size_t(kPageSize));
    oldest->page = -1;
    if (!readDisk(page * kPageSize, pageLength(page), oldest->bytes.data()))
        return nullptr;
    oldest->page = page;
    oldest->lastUse = ++m_clock;
    return oldest->bytes.data();
}

bool PagedFile::read(int64_t pos, int64_t len, uint8_t *dst) const
{
    if (pos < 0 || len < 0 || len > size() - pos)
        return false;
    if (len >= kDirectRead) {
        // No lock while the disk works, so the view is never held up by a
        // search; the overlay is laid over the result afterwards.
        if (!readDisk(pos, len, dst))
            return false;
        const std::lock_guard lock(m_lock);
        const int64_t end = pos + len;
        for (auto it = m_overlay.lower_bound(pos / kPageSize); it != m_overlay.end(); ++it) {
            const int64_t from = std::max(pos, it->first * kPageSize);
            const int64_t to = std::min<int64_t>(end, it->first * kPageSize + it->second.size());
            if (from >= end)
                break;
            if (from < to)
                std::memcpy(dst + (from - pos), it->second.constData() + (from - it->first * kPageSize),
                            size_t(to - from));
        }
        return true;
    }
    const std::lock_guard lock(m_lock);
    while (len > 0) {
        const int64_t page = pos / kPageSize;
        const int64_t offset = pos - page * kPageSize;
        const uint8_t *bytes = pageBytes(page);
        if (!bytes)
            return false;
        const int64_t n = std::min(len, pageLength(page) - offset);
        std::memcpy(dst, bytes + offset, size_t(n));
        dst += n;
        pos += n;
        len -= n;
    }
    return true;
}

bool PagedFile::write(int64_t pos, uint8_t value)
{
    if (pos < 0 || pos >= size())
        return false;
    const std::lock_guard lock(m_lock);
    const int64_t page = pos / kPageSize;
    auto it = m_overlay.find(page);
    if (it == m_overlay.end()) {
        const uint8_t *bytes = pageBytes(page);
        if (!bytes)
            return false;
        it = m_overlay.emplace(page, QByteArray(reinterpret_cast<const char *>(bytes), pageLength(page))).first;
        for (Slot &slot : m_cache) {
            if (slot.page == page)
                slot.page = -1; // the overlay answers for this page from now on
        }
    }
    it->second[qsizetype(pos - page * kPageSize)] = char(value);
    return true;
}

void PagedFile::markSaved(const FileIdentity &now)
{
    std::lock_guard<std::mutex> lock(m_lock);
    // A cached copy of a changed page holds the bytes from before the edit.
    for (Slot &slot : m_cache)
        if (m_overlay.count(slot.page))
            slot.page = -1;
    m_overlay.clear();
    m_identity = now;
}
