#pragma once
// A file opened for reading at any 64-bit offset, and what identifies it
// (device, inode, size, modification time). Reads go straight to the OS with
// positional reads, never through a memory map, so a file cut short by
// another program gives a short read rather than a fault.
#include <QString>

#include <cstdint>
#include <memory>

class PositionalFile
{
public:
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedNs = 0;
        friend bool operator==(const Identity &, const Identity &) = default;
    };

    // nullptr when `path` cannot be opened for reading or is not a regular
    // file, with the reason in *why.
    static std::unique_ptr<PositionalFile> open(const QString &path, QString *why);
    // The identity of whatever `path` names now; false when it names nothing.
    static bool identityOf(const QString &path, Identity *out);

    ~PositionalFile();
    PositionalFile(const PositionalFile &) = delete;
    PositionalFile &operator=(const PositionalFile &) = delete;

    // The identity of the open file now (it may have changed since open).
    bool identity(Identity *out) const;
    // Reads up to len bytes at pos, retrying short reads; the count read
    // (less than len only at the end of the file), or -1 on an error.
    int64_t readAt(int64_t pos, int64_t len, void *dst) const;

private:
    explicit PositionalFile(int fd) : m_fd(fd) {}
    int m_fd;
};
