#pragma once
// A file opened for reading at any 64-bit offset. Reads go straight to the
// system with positional reads, never through a memory map, so a file cut
// short by another program gives a short read rather than a fault. Safe to
// read from several threads at once.
#include "fileidentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class FileOps;

class PositionalFile
{
public:
    // nullptr when `path` (the system's bytes) cannot be opened for reading
    // or is not a regular file, with the reason in *why.
    static std::unique_ptr<PositionalFile> open(FileOps &ops, const QByteArray &path, QString *why);

    ~PositionalFile();
    PositionalFile(const PositionalFile &) = delete;
    PositionalFile &operator=(const PositionalFile &) = delete;

    // The identity of the open file now (it may have changed since open).
    bool identity(FileIdentity *out) const;
    // The identity of whatever the path names now; false when it names nothing.
    bool identityOfPath(FileIdentity *out) const;
    // Reads up to len bytes at pos, retrying short reads; the count read
    // (less than len only at the end of the file), or -1 on an error.
    int64_t readAt(int64_t pos, int64_t len, void *dst) const;
    // The file is about to be read in order from `pos` on.
    void expectSequentialReads(int64_t pos) const;
    const QByteArray &path() const { return m_path; }

private:
    PositionalFile(FileOps &ops, int fd, QByteArray path) : m_ops(ops), m_fd(fd), m_path(std::move(path)) {}
    FileOps &m_ops;
    int m_fd;
    QByteArray m_path;
};
