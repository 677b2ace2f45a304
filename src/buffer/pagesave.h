#pragma once
// Saving the changed parts of a file too large to rewrite, without ever
// leaving it half old and half new.
//
// In place: the old bytes of every changed range first go to a journal beside
// the file (".<name>.veltrano-journal"), which is flushed together with its
// folder entry; only then are the new bytes written and flushed, and the
// journal removed. A journal found later means a save was interrupted:
// recoverInterruptedSave() writes the old bytes back. A journal it cannot
// trust (incomplete, damaged, or made for another file) is kept and the file
// is not touched.
//
// As a copy: a temporary file beside the target receives the whole source
// (shared blocks where the file system can), then the changes; it is flushed
// and renamed over the target.
//
// Both refuse, writing nothing, when the file is no longer the one that was
// opened. Every function returns "" on success, else the reason.
#include "pagefileops.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

// New bytes at a position; a later entry wins where two overlap.
using ByteChanges = std::vector<std::pair<int64_t, QByteArray>>;

QString saveChangedPages(const QString &path, const FileIdentity &expected, const ByteChanges &changes,
                         PageFileOps &ops = PageFileOps::real());

QString saveCopyWithChanges(const QString &source, const FileIdentity &expected, const QString &target,
                            const ByteChanges &changes, PageFileOps &ops = PageFileOps::real());

struct RecoveryResult {
    enum Outcome {
        None,       // no journal: nothing was interrupted
        RolledBack, // the file is back as it was before the interrupted save
        LeftAlone,  // a journal that cannot be trusted; file and journal untouched
        Failed,     // the file could not be put back; the journal is kept
    };
    Outcome outcome = None;
    QString reason; // why, for LeftAlone and Failed
};

// Call before anything reads the file.
RecoveryResult recoverInterruptedSave(const QString &path, PageFileOps &ops = PageFileOps::real());

QString journalPathFor(const QString &path);
