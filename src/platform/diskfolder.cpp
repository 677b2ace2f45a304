#include "diskfolder.h"

#include "diskname.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DiskFolder {

Listing list(const QString &folder)
{
    Listing listing;
    const QByteArray path = DiskName::toDisk(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return listing;
    const QByteArray prefix = path.endsWith('/') ? path : path + '/';
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        // Links count as what they point to, as a file list shows them.
        struct stat st;
        if (::stat((prefix + name).constData(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            listing.files.append(DiskName::fromDisk(name));
        else if (S_ISDIR(st.st_mode))
            listing.folders.append(DiskName::fromDisk(name));
    }
    ::closedir(dir);
    std::sort(listing.files.begin(), listing.files.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return listing;
}

bool isReadable(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QByteArray path = DiskName::toDisk(folder);
    struct stat st;
    // Listing needs read permission and entering needs search permission.
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)
           && ::access(path.constData(), R_OK | X_OK) == 0;
}

QString current()
{
    char *cwd = ::getcwd(nullptr, 0);
    if (!cwd)
        return QString();
    const QString folder = DiskName::fromDisk(cwd);
    ::free(cwd);
    return folder;
}

bool setCurrent(const QString &folder)
{
    return !folder.isEmpty() && ::chdir(DiskName::toDisk(folder).constData()) == 0;
}

} // namespace DiskFolder
