#include "bufferfile.h"

#include "fileio.h"
#include "pagesave.h"

namespace BufferFile {

namespace {

// Whether `path` names the file that was opened, whatever the name it was opened by.
bool isSameFile(const QString &path, const PositionalFile::Identity &opened)
{
    PositionalFile::Identity now;
    return PositionalFile::identityOf(path, &now) && now.device == opened.device && now.inode == opened.inode;
}

} // namespace

QString load(const QString &path, FileBuffer &out, QString *notice)
{
    // A journal beside the file means a save of its pages was cut short: the
    // file goes back to how it was before that save, before anything reads it.
    const RecoveryResult recovery = recoverInterruptedSave(path);
    if (notice) {
        if (recovery.outcome == RecoveryResult::RolledBack)
            *notice = QStringLiteral("the file was put back as it was before that save");
        else if (recovery.outcome != RecoveryResult::None)
            *notice = recovery.reason;
    }
    PositionalFile::Identity named;
    if (!path.isEmpty() && PositionalFile::identityOf(path, &named) && named.size > ByteStore::kMaxSize) {
        QString why;
        std::unique_ptr<PagedFile> file = PagedFile::open(path, &why);
        if (!file)
            return why;
        out.adopt(std::shared_ptr<PagedFile>(std::move(file)));
        return {};
    }
    ByteStore fresh;
    const QString failure = FileIO::load(path, fresh);
    if (failure.isEmpty())
        out.adopt(std::move(fresh));
    return failure;
}

QString save(const QString &path, FileBuffer &data)
{
    if (const ByteStore *memory = data.memory())
        return FileIO::save(path, *memory);
    const PagedFile &file = *data.paged();
    // Pages of a file that changed on disk would be written over someone
    // else's bytes, and pages that could not be read cannot be copied.
    if (file.fault() == ByteSource::Fault::ChangedOnDisk)
        return QStringLiteral("Another program changed the file after it was opened.");
    if (file.fault() != ByteSource::Fault::None)
        return QStringLiteral("Part of the file could not be read.");
    const bool inPlace = isSameFile(path, file.identity());
    const QString failure = savePages(path, file.path(), file.changedPages(), file.identity());
    // Written in place: the file on disk now holds the changes, under a new
    // modification time that the store must take as its own. A copy to
    // another file leaves the store's file as it was, changes still pending.
    PositionalFile::Identity now;
    if (failure.isEmpty() && inPlace && PositionalFile::identityOf(path, &now))
        data.paged()->markSaved(now);
    return failure;
}

QString savePages(const QString &path, const QString &sourcePath, const PagedFile::Pages &pages,
                  const PagedFile::Identity &expected)
{
    const FileIdentity source{expected.device, expected.inode, expected.size, expected.modifiedNs};
    // The file it was read from, under whatever name, takes only the changed
    // pages, through the journal; any other target gets a whole copy.
    if (isSameFile(path, expected))
        return saveChangedPages(path, source, pages);
    return saveCopyWithChanges(sourcePath, source, path, pages);
}

} // namespace BufferFile
