#pragma once
// What a file is besides its bytes: owner, group, extended attributes
// (access control lists included) and every mode bit, setuid, setgid and
// sticky among them. A save that replaces a file by a new one gives the new
// one all of these before it takes the old one's place.
#include <sys/stat.h>

class FileOps;

namespace FileAttributes {

// Gives the open file `to` the identity of the file at `fromPath`, whose
// status is `from`. Owner and group go first (changing them clears setuid
// and setgid), the mode last. True when every part was kept; false when the
// system refused one, typically an owner or group that this user may not
// hand out, or an attribute the file system cannot hold.
bool copy(FileOps &ops, const char *fromPath, const struct stat &from, int to);

} // namespace FileAttributes
