#pragma once
// The system calls that loading and saving make, behind one seam so that a
// test can make any single step fail (a full disk in the middle of a write,
// a rename that is refused) on real files. Each member does what the POSIX
// call of the same name does: it returns its result and leaves the reason
// of a failure in errno. system() is the one production instance.
#include <sys/stat.h>
#include <sys/types.h>

class FileOps
{
public:
    virtual ~FileOps() = default;

    static FileOps &system();

    virtual int open(const char *path, int flags, mode_t mode = 0);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void *buffer, size_t size);
    virtual ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset);
    virtual int fsync(int fd);
    virtual int ftruncate(int fd, off_t length);
    virtual int fstat(int fd, struct stat *st);
    virtual int fchown(int fd, uid_t owner, gid_t group);
    virtual int fchmod(int fd, mode_t mode);
    virtual ssize_t listxattr(const char *path, char *names, size_t size);
    virtual ssize_t getxattr(const char *path, const char *name, void *value, size_t size);
    virtual int fsetxattr(int fd, const char *name, const void *value, size_t size, int flags);
    virtual int rename(const char *from, const char *to);
    virtual int unlink(const char *path);
};
