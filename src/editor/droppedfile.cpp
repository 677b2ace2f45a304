#include "droppedfile.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

std::optional<QString> DroppedFile::localFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    const QString path = urls.first().toLocalFile();
    // A name that is gone by now is still taken: opening it says why it fails.
    if (path.isEmpty() || QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}
