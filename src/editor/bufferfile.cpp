#include "bufferfile.h"

#include "fileio.h"

namespace BufferFile {

QString load(const QString &path, FileBuffer &out)
{
    DiskFile::Identity named;
    if (!path.isEmpty() && DiskFile::identityOf(path, &named) && named.size > ByteStore::kMaxSize) {
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
    return savePages(path, file.path(), file.changedPages(), file.identity());
}

QString savePages(const QString &, const QString &, const PagedFile::Pages &, const PagedFile::Identity &)
{
    return QStringLiteral("Saving a file of 2 GiB or more is not available yet.");
}

} // namespace BufferFile
