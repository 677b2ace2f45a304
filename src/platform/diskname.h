#pragma once
// File names as the system stores them (bytes) and as the program carries
// them (QString), converted without loss in both directions. Names are
// UTF-8 on disk as a rule, but any byte other than '/' and NUL may appear;
// each byte that is not part of valid UTF-8 is carried as the lone
// surrogate U+DC80..U+DCFF and turned back into that byte on the way out.
// Valid UTF-8 never decodes to a lone surrogate, so the mapping is one to
// one. Qt's own name conversion is lossy for such names, so every name that
// reaches the disk goes through toDisk() and every name read from it
// through fromDisk().
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace DiskName {

QString fromDisk(QByteArrayView bytes);
QByteArray toDisk(QStringView name);

// The name as shown to the user: each carried byte becomes U+FFFD.
QString forDisplay(QStringView name);

} // namespace DiskName
