#pragma once
// The rollback journal that makes a write into an existing file all or
// nothing. Before a save changes the file in place, the old bytes of every
// range it will write go to a journal, which is flushed together with its
// name; only then is the file written and flushed, and the journal removed.
// A journal found later means a save was interrupted, and recover() writes
// the old bytes back before anything reads the file.
//
// The journal is named after the file itself (links resolved): beside it as
// ".<name>.veltrano-journal", or, for a file with several hard links or in a
// folder that admits no new file, in the user's state folder under the
// file's device and inode, so that every name of the file finds it. Both a
// save and a recovery hold the file's write lock (FileOps::lock) for as long
// as the journal exists, so one never undoes the other's unfinished work.
//
// A journal is trusted only if this program could have written it: a
// regular file without holes, owned by the file's owner or by this user,
// writable by nobody else, made for this file (device, inode, size) and
// whole. It is read in bounded pieces, whatever size it claims.
#include "fileidentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

class FileOps;

class Journal
{
public:
    struct Range {
        int64_t offset;
        int64_t length;
    };

    // Where the journal of the file at `path` (absolute, links followed) is
    // looked for and made: beside it, then in the state folder.
    static QByteArray besidePath(const QByteArray &path);
    // "" when there is no home folder to keep a state folder in.
    static QByteArray statePath(const FileIdentity &file);

    explicit Journal(FileOps &ops) : m_ops(ops) {}
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Makes and flushes the journal for the file open (and locked) as
    // `target`, whose status is `file`, holding the old bytes of `ranges`
    // (sorted, disjoint, inside the file). `wholeFile`: the ranges are all
    // the file's data and the save may change its size. `newSum` is the
    // checksum of the bytes the save will leave in the ranges (see
    // checksumOf), by which a journal that outlives its finished save is
    // known; 0 when the save removes its journal durably instead. "" on
    // success, else the reason, and then there is no journal.
    QString create(const QByteArray &path, int target, const FileStatus &file, const std::vector<Range> &ranges,
                   bool wholeFile, uint64_t newSum);
    // Puts the old bytes (and, for a whole-file journal, the old size) back
    // into `target`, flushes it and removes the journal. 0 or a negated errno.
    int rollBack(int target);
    // Removes the journal once the save is done and flushed. A journal that
    // is already gone fails: another program may have undone the save.
    enum class Finish {
        Done,
        Gone,      // the journal had disappeared: the file's state is unknown
        Stuck,     // it could not be removed nor emptied: undo the save
        Unflushed, // removed, but the removal may not survive a crash
    };
    Finish finish(QString *why);
    const QByteArray &path() const { return m_path; }

    // The checksum a journal keeps of new bytes, over `changes` in order.
    static uint64_t checksumOf(const std::vector<std::pair<int64_t, QByteArray>> &changes);

    struct Recovery {
        enum Outcome {
            None,       // no journal, or one of a save that had finished
            RolledBack, // the file is back as it was before the interrupted save
            Cleared,    // a journal cut short: the save never touched the file
            LeftAlone,  // a journal that cannot be trusted; file and journal untouched
            Busy,       // another program is saving the file right now
            Failed,     // the file could not be put back; the journal is kept
        };
        Outcome outcome = None;
        QString reason; // what happened, for every outcome but None and RolledBack
    };
    // Call before anything reads the file at `path` (absolute, links followed).
    static Recovery recover(FileOps &ops, const QByteArray &path);

private:
    FileOps &m_ops;
    int m_fd = -1;
    QByteArray m_path;
    bool m_durableRemoval = true;
};
