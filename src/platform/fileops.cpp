#include "fileops.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

FileOps &FileOps::system()
{
    static FileOps ops;
    return ops;
}

int FileOps::open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int FileOps::close(int fd) { return ::close(fd); }
ssize_t FileOps::read(int fd, void *buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t FileOps::pwrite(int fd, const void *buffer, size_t size, off_t offset)
{
    return ::pwrite(fd, buffer, size, offset);
}
int FileOps::fsync(int fd) { return ::fsync(fd); }
int FileOps::ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int FileOps::fstat(int fd, struct stat *st) { return ::fstat(fd, st); }
int FileOps::fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }
int FileOps::fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
ssize_t FileOps::listxattr(const char *path, char *names, size_t size)
{
    return ::listxattr(path, names, size);
}
ssize_t FileOps::getxattr(const char *path, const char *name, void *value, size_t size)
{
    return ::getxattr(path, name, value, size);
}
int FileOps::fsetxattr(int fd, const char *name, const void *value, size_t size, int flags)
{
    return ::fsetxattr(fd, name, value, size, flags);
}
int FileOps::rename(const char *from, const char *to) { return ::rename(from, to); }
int FileOps::unlink(const char *path) { return ::unlink(path); }
