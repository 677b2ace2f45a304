#pragma once
// Folders by their names as the system stores them (see diskname.h): what a
// folder holds, whether it can be listed and entered, and the process's
// working directory. Qt's own folder calls lose names that are not valid
// UTF-8, so the chooser and the editor use these instead.
#include <QString>
#include <QStringList>

namespace DiskFolder {

struct Listing {
    QStringList files;   // regular files, links to them included
    QStringList folders; // folders, links to them included; no "." or ".."
};

// The visible entries of `folder` (names that start with '.' are hidden),
// each as DiskName::fromDisk() gives it, files sorted without regard to case.
// Devices, pipes, sockets and broken links are left out. Empty when the
// folder cannot be read.
Listing list(const QString &folder);

// An existing folder that this process may list and enter.
bool isReadable(const QString &folder);

// The working directory, absolute; "" when the system cannot say.
QString current();
bool setCurrent(const QString &folder);

} // namespace DiskFolder
