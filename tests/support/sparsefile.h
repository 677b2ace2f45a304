#pragma once
// Test support: files far larger than the disk space they take. The length
// is set with a truncate, so the holes read as zeros and cost nothing; only
// the marker bytes written into them use disk.
#include <QFile>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

using Markers = std::vector<std::pair<int64_t, uint8_t>>;

inline bool makeSparseFile(const QString &path, int64_t size, const Markers &markers)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || !f.resize(size))
        return false;
    for (const auto &[pos, value] : markers) {
        const char c = char(value);
        if (!f.seek(pos) || f.write(&c, 1) != 1)
            return false;
    }
    return f.flush();
}

// A 5 GiB file (plus a few bytes, so the last page is short) with a marker
// at the start, on both sides of 2^31, at 2^32 and at the last byte, and one
// at index 3000000000, whose readout is "Byte : 3000000001 Hex : B2D05E01".
constexpr int64_t kHugeSize = (int64_t(5) << 30) + 3;
inline Markers hugeMarkers()
{
    return {{0, 0x41}, {(int64_t(1) << 31) - 1, 0x42}, {int64_t(1) << 31, 0x43},
            {3000000000, 0x44}, {int64_t(1) << 32, 0x45}, {kHugeSize - 1, 0x46}};
}
