#include "fileio.h"

#include "diskfile.h"

#include <algorithm>
#include <cstring>

namespace FileIO {

QString load(const QString &path, ByteStore &out)
{
    ByteStore fresh;
    // Keeps what was read so far across a change of size, as realloc does.
    const auto resize = [&fresh](int64_t size) -> uint8_t * {
        ByteStore next;
        if (!next.allocate(size))
            return nullptr;
        const int64_t kept = std::min<int64_t>(size, fresh.size());
        if (kept > 0)
            std::memcpy(next.data(), fresh.data(), size_t(kept));
        fresh.swap(next);
        return fresh.data();
    };
    const QString failure = DiskFile::readWhole(path, ByteStore::kMaxSize, resize);
    if (failure.isEmpty())
        out.swap(fresh);
    return failure;
}

QString save(const QString &path, const ByteStore &data)
{
    return DiskFile::writeWhole(path, data.data(), data.size());
}

} // namespace FileIO
