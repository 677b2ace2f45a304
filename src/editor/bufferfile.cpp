#include "bufferfile.h"

#include "fileio.h"
#include "pagesave.h"

namespace BufferFile {

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

QString save(const QString &path, const FileBuffer &data)
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
    const QString failure = savePages(path, file.path(), file.changedPages(), file.identity());
    // Written in place: the file on disk now holds the changes, under a new
    // modification time that the store must take as its own.
    PositionalFile::Identity now;
    if (failure.isEmpty() && PositionalFile::identityOf(file.path(), &now) && now.device == file.identity().device
        && now.inode == file.identity().inode)
        data.paged()->markSaved(now);
    return failure;
}

QString savePages(const QString &path, const QString &sourcePath, const PagedFile::Pages &pages,
                  const PagedFile::Identity &expected)
{
    const FileIdentity source{expected.device, expected.inode, expected.size, expected.modifiedNs};
    // The file it was read from, under whatever name, takes only the changed
    // pages, through the journal; any other target gets a whole copy.
    PositionalFile::Identity target;
    const bool sameFile = PositionalFile::identityOf(path, &target) && target.device == expected.device
        && target.inode == expected.inode;
    if (sameFile)
        return saveChangedPages(path, source, pages);
    return saveCopyWithChanges(sourcePath, source, path, pages);
}

} // namespace BufferFile
