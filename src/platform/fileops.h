#pragma once
// Every system call that loading and saving make, behind one seam, so that a
// test can make any single step fail or stop the process there (a full disk
// in the middle of a write, a refused rename, a crash before a flush) and
// check what is left on a real file system.
//
// One convention throughout: a call returns its result (0 or more) on
// success and the negated errno value on failure; an interrupted call is
// retried inside, and nothing throws. Names are the system's bytes (see
// diskname.h). Every descriptor is opened close-on-exec, and without
// blocking: a named pipe met where a file was expected fails instead of
// waiting for a writer. system() is the one production instance; a test
// derives from FileOps and overrides what it watches.
#include "fileidentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

class FileOps
{
public:
    enum OpenFlag {
        Read = 0x1,
        Write = 0x2,
        ReadWrite = Read | Write,
        CreateNew = 0x4, // with Write: -EEXIST when the name is taken
        Folder = 0x8,    // a folder, opened only to flush it
        NoFollow = 0x10, // -ELOOP when the last part of the name is a link
    };
    enum Seek { NextData, NextHole };
    enum Access { MayWrite = 0x1, MayEnter = 0x2 };

    virtual ~FileOps() = default;

    static FileOps &system();

    virtual int open(const QByteArray &path, int flags, uint32_t createMode = 0600);
    virtual int close(int fd);
    // Reads on from the current position (pseudo-files that only read in order).
    virtual int64_t read(int fd, void *buffer, int64_t size);
    virtual int64_t pread(int fd, void *buffer, int64_t size, int64_t offset);
    virtual int64_t pwrite(int fd, const void *buffer, int64_t size, int64_t offset);
    // dataOnly: the bytes and what is needed to find them, not the times.
    virtual int fsync(int fd, bool dataOnly = false);
    virtual int ftruncate(int fd, int64_t length);
    virtual int fstat(int fd, FileStatus &out);
    virtual int stat(const QByteArray &path, FileStatus &out);
    virtual int lstat(const QByteArray &path, FileStatus &out);
    virtual int readlink(const QByteArray &path, QByteArray &target);
    // Whether this process, by its effective ids, may do `what` (Access bits).
    virtual int access(const QByteArray &path, int what);
    virtual int rename(const QByteArray &from, const QByteArray &to);
    virtual int unlink(const QByteArray &path);
    virtual int mkdir(const QByteArray &path, uint32_t mode);
    // Every name in the folder but "." and "..".
    virtual int listFolder(const QByteArray &path, QList<QByteArray> &names);
    // uint32_t(-1) leaves the owner or the group as it is.
    virtual int fchown(int fd, uint32_t owner, uint32_t group);
    virtual int fchmod(int fd, uint32_t mode);
    virtual int64_t flistxattr(int fd, char *names, int64_t size);
    virtual int64_t fgetxattr(int fd, const char *name, void *value, int64_t size);
    virtual int fsetxattr(int fd, const char *name, const void *value, int64_t size);
    virtual int fremovexattr(int fd, const char *name);
    // Where the next data or hole starts at or after `offset`: -ENXIO when no
    // data follows; -EINVAL where the system cannot tell holes apart.
    virtual int64_t seek(int fd, int64_t offset, Seek which);
    // Copies within the kernel, sharing blocks where the file system can.
    // -ENOSYS, -EXDEV, -EOPNOTSUPP or -EINVAL mean: copy by reading and writing.
    virtual int64_t copyFileRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t len);
    // Tells the system the file will be read in order from `offset` on, so
    // that it reads ahead. Only a hint: the result may be ignored.
    virtual int adviseSequential(int fd, int64_t offset);
    // Takes the whole file's write lock for this open file, without waiting:
    // -EAGAIN while another open of it (in any process) holds the lock. The
    // lock goes with the last close of the descriptor.
    virtual int lock(int fd);
    // The effective user id of this process.
    virtual uint32_t user();
};

// Owns one descriptor from FileOps::open and closes it on every way out.
class FileHandle
{
public:
    explicit FileHandle(FileOps &ops, int fd = -1) : m_ops(ops), m_fd(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    // The descriptor, or the failed open's negated errno.
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Gives the descriptor up without closing it.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes now and reports the result: a delayed write error shows here.
    int close();

private:
    FileOps &m_ops;
    int m_fd;
};

namespace FileIo {

// Stand-in result for "the file ended before the bytes asked for".
constexpr int kEndedEarly = -100000; // no errno value comes near it

// Writes every byte, retrying short writes. 0 or a negated errno.
int writeAll(FileOps &ops, int fd, const void *data, int64_t size, int64_t offset);
// Reads exactly `size` bytes. 0, kEndedEarly or a negated errno.
int readAll(FileOps &ops, int fd, void *data, int64_t size, int64_t offset);
// Flushes a folder, so that names created or removed in it survive a crash.
// A file system that cannot flush a folder counts as done.
int flushFolder(FileOps &ops, const QByteArray &folder);

QByteArray folderOf(const QByteArray &path);
QByteArray baseOf(const QByteArray &path);

// The words for a failed call's result.
QString reason(int result);

} // namespace FileIo
