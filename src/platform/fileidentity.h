#pragma once
// What tells one file apart from another, and from itself after a change.
// Device and inode say which file it is; size, modification time and change
// time say whether its content may have changed since it was last looked at.
// The change time moves with every write and no program can set it back, so
// a write that puts the modification time back is still seen.
#include <cstdint>

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const FileIdentity &) const = default;
    bool isSameFile(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
};

// A file's status as the file-system seam reports it.
struct FileStatus {
    FileIdentity id;
    uint32_t mode = 0; // type and permission bits, as st_mode
    uint32_t owner = 0;
    uint32_t group = 0;
    uint64_t links = 0;

    // The type bits have the same values on every POSIX system.
    bool isRegular() const { return (mode & 0170000) == 0100000; }
    bool isFolder() const { return (mode & 0170000) == 0040000; }
    bool isLink() const { return (mode & 0170000) == 0120000; }
    uint32_t permissions() const { return mode & 07777; }
};
