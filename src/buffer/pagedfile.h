#pragma once
// A file too large to hold in memory, read on demand. Pages of kPageSize
// bytes come from the disk with pread into a small LRU cache, so memory stays
// bounded whatever the file's size; a page the user changed moves to the
// overlay and stays in memory until it is saved. Large reads (the search's
// chunks) bypass the cache and are patched from the overlay.
//
// Before each read from the disk the file is checked to be the one that was
// opened (its identity, through the open descriptor and the path, which is
// absolute). Once it is not, or once a read fails, the store
// reads nothing more from the disk: fault() says why, and only pages already
// in memory are served, so the view never mixes two versions of the file.
//
// Safe to read from one thread while another reads or writes.
#include "bytesource.h"
#include "positionalfile.h"

#include <QByteArray>
#include <QString>

class FileOps;

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class PagedFile final : public ByteSource
{
public:
    static constexpr int64_t kPageSize = int64_t(64) << 10;
    static constexpr int kCachePages = 64; // 4 MiB

    // Opens `path` (absolute, the system's bytes) for reading in constant
    // time (open and fstat, no read). nullptr when it cannot be opened or is
    // not a regular file, with the reason in *why.
    static std::unique_ptr<PagedFile> open(FileOps &ops, const QByteArray &path, QString *why);
    ~PagedFile() override;
    PagedFile(const PagedFile &) = delete;
    PagedFile &operator=(const PagedFile &) = delete;

    int64_t size() const override { return m_identity.size; }
    bool read(int64_t pos, int64_t len, uint8_t *dst) const override;
    bool write(int64_t pos, uint8_t value) override;
    const uint8_t *span() const override { return nullptr; }
    Fault fault() const override { return m_fault.load(); }
    void expectSequentialReads(int64_t pos) const override { m_file->expectSequentialReads(pos); }

    const QByteArray &path() const { return m_file->path(); }
    const FileIdentity &identity() const { return m_identity; }
    // The changed pages were written to the file, which is now `now`: they
    // leave the overlay and the store checks the file against `now`. Only
    // while no other thread reads: reads of the disk check the identity
    // without the lock (the editor stops its search before it saves).
    void markSaved(const FileIdentity &now);

private:
    struct Slot {
        int64_t page = -1;
        uint64_t lastUse = 0;
        std::vector<uint8_t> bytes;
    };

    PagedFile(std::unique_ptr<PositionalFile> file, const FileIdentity &identity);
    int64_t pageLength(int64_t page) const;
    bool stillSame() const;
    bool readDisk(int64_t pos, int64_t len, uint8_t *dst) const;
    void fail(Fault why) const;
    // The page's bytes from the overlay or the cache, loading it if needed;
    // nullptr when it cannot be read. Called with m_lock held.
    const uint8_t *pageBytes(int64_t page) const;

    std::unique_ptr<PositionalFile> m_file;
    FileIdentity m_identity;
    mutable std::atomic<Fault> m_fault{Fault::None};
    mutable std::mutex m_lock;
    mutable std::vector<Slot> m_cache;
    mutable uint64_t m_clock = 0;
    std::map<int64_t, QByteArray> m_overlay; // page index -> bytes
};
