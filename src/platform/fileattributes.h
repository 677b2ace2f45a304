#pragma once
// What a file is besides its bytes: owner, group, extended attributes
// (access control lists included) and every mode bit, setuid, setgid and
// sticky among them. A save that replaces a file by a new one gives the new
// one all of these before it takes the old one's place.
#include "fileidentity.h"

class FileOps;

namespace FileAttributes {

// Gives the open file `to` the identity of the open file `from`, whose
// status is `fromStatus`: owner and group first (changing them clears setuid
// and setgid), then the attributes (and none that `from` lacks, such as an
// access list inherited from the folder), the mode last. True when every
// part was kept; false when the system refused one, typically an owner or
// group that this user may not hand out, or an attribute the file system
// cannot hold.
bool copy(FileOps &ops, int from, const FileStatus &fromStatus, int to);

} // namespace FileAttributes
