#pragma once
// The file operations a save is made of, behind one small interface so that a
// test can make any single step fail or stop. Every call returns a
// non-negative result on success or a negated errno value on failure, never
// throws, and retries an interrupted system call itself.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// What tells one file apart from another, and from itself after a change.
struct FileIdentity {
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t size = 0;
    int64_t mtime_ns = 0;

    bool operator==(const FileIdentity &) const = default;

    static std::optional<FileIdentity> of(int fd);
    static std::optional<FileIdentity> of(const QString &path);
};

struct FileStat {
    FileIdentity id;
    uint32_t mode = 0; // permission bits only
    bool isDirectory = false;
};

class PageFileOps {
public:
    enum OpenMode {
        ReadOnly,
        ReadWrite,
        CreateNew, // read and write; fails with -EEXIST if the name is taken
        Directory, // a folder, opened only to flush it
    };

    virtual ~PageFileOps() = default;

    virtual int open(const QByteArray &path, OpenMode mode, uint32_t createMode = 0600) = 0;
    virtual int close(int fd) = 0;
    virtual int64_t pread(int fd, void *buf, int64_t len, int64_t offset) = 0;
    virtual int64_t pwrite(int fd, const void *buf, int64_t len, int64_t offset) = 0;
    virtual int fsync(int fd) = 0;
    virtual int ftruncate(int fd, int64_t length) = 0;
    virtual int fchmod(int fd, uint32_t mode) = 0;
    virtual int fstat(int fd, FileStat &out) = 0;
    virtual int stat(const QByteArray &path, FileStat &out) = 0;
    virtual int rename(const QByteArray &from, const QByteArray &to) = 0;
    virtual int unlink(const QByteArray &path) = 0;
    enum Seek { NextData, NextHole };
    // Where the next data or hole starts at or after `offset`: -ENXIO when
    // no data follows; -EINVAL where the system cannot tell holes apart.
    virtual int64_t seek(int fd, int64_t offset, Seek which) = 0;
    // Copies within the kernel, sharing blocks where the file system can.
    // -ENOSYS, -EXDEV, -EOPNOTSUPP or -EINVAL mean: copy by reading and writing.
    virtual int64_t copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len) = 0;

    // The operating system's own operations.
    static PageFileOps &real();
};

// The one place a file name becomes the bytes the system is given.
QByteArray nativePath(const QString &path);

// The system's text for a negated errno value.
QString errorText(int negatedErrno);
