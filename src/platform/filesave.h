#pragma once
// The ways a save writes a file, each all or nothing, whatever holds the
// bytes:
//
// - patchInPlace: the file that was opened takes only the bytes that
//   changed, through the rollback journal (see journal.h). Its inode, links,
//   owner, mode and attributes stay untouched because nothing replaces it.
// - writeComplete: any target gets the whole content, by the strategy the
//   resolver chose (see savetarget.h). Replace by rename: a new file of a
//   fresh name beside the target takes the target's owner, attributes and
//   mode, is flushed and renamed over it. Overwrite in place (hard links, a
//   folder that admits no new file, an owner or attribute a new file cannot
//   be given): the target's old data goes to a whole-file journal first.
//
// Both hold the target's write lock while they work, so that two saves, or a
// save and another editor's recovery, never meet in one file. Temporary files
// left beside a target by a save that crashed are removed by the next save
// in that folder, unless another save still holds them.
#include "fileidentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class FileOps;
struct SaveTarget;

// New bytes at a position, sorted by position and not overlapping.
using ByteChanges = std::vector<std::pair<int64_t, QByteArray>>;

// A file's whole content, written into a file the saver opened.
class FileContent
{
public:
    virtual ~FileContent() = default;
    virtual int64_t size() const = 0;
    // Writes every byte into `fd`, an empty file, at the same offsets.
    // 0, or a negated errno and perhaps the reason in *why.
    virtual int writeTo(FileOps &ops, int fd, QString *why) const = 0;
};

// Content held in one block of memory.
class MemoryContent final : public FileContent
{
public:
    MemoryContent(const uint8_t *data, int64_t size) : m_data(data), m_size(size) {}
    int64_t size() const override { return m_size; }
    int writeTo(FileOps &ops, int fd, QString *why) const override;

private:
    const uint8_t *m_data;
    int64_t m_size;
};

struct SaveOutcome {
    QString failure; // "" when the target holds the new content, flushed
    // The target's identity whenever it is whole: with the new content
    // after a save, with the old after a failure that was undone. Empty when
    // it is not known, or when the journal had to stay (journalLeft).
    std::optional<FileIdentity> file;
    // A failure whose journal could not be played back at once: the file
    // mixes old and new bytes until recover() runs.
    bool journalLeft = false;
};

namespace FileSave {

// Why a file that was `opened` is not the same now (`now` null: it is gone).
QString changeSince(const FileIdentity &opened, const FileIdentity *now);

// Writes `changes` into the file at `path` (absolute, links followed),
// which must still be `expected`.
SaveOutcome patchInPlace(FileOps &ops, const QByteArray &path, const FileIdentity &expected,
                         const ByteChanges &changes);

// Writes `content` as the whole of `target`.
SaveOutcome writeComplete(FileOps &ops, const SaveTarget &target, const FileContent &content);

// Copies the first `size` bytes of `in` to the same places in `out`, an empty
// file. Holes stay holes: `out` is made as long first, then only the data of
// `in` is copied, in the kernel where it can. 0 or a negated errno.
int copyData(FileOps &ops, int in, int out, int64_t size);

} // namespace FileSave
