#pragma once
// Search of any ByteSource for a pattern. A store held in memory is searched
// in place in one pass; any other is read in chunks, each overlapping the
// next by the pattern's length less one so that a match across two chunks is
// found. The chunks are handed out in order to one thread a core, each of
// which reads a chunk and searches it while it is still in the cache, so
// that reading and searching run on every core at once. Memory use is one
// chunk a thread, whatever the size of the source.
#include "bytesource.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace ChunkSearch {

// Measured on files in the page cache: from 4 MiB on, a larger chunk saves
// nothing more, and a smaller one costs calls.
constexpr int64_t kDefaultChunk = int64_t(4) << 20;

struct Result {
    enum Status { Found, NotFound, ReadFailed, Cancelled };
    Status status = NotFound;
    int64_t index = -1; // where the match starts, when Found
};

struct Options {
    int64_t chunkSize = kDefaultChunk;
    // Checked between chunks; a set flag ends the search as Cancelled.
    const std::atomic<bool> *cancel = nullptr;
    // Called on the calling thread as the search goes, with how far it has
    // come as a position: `from` plus the bytes searched so far.
    std::function<void(int64_t)> progress;
    // How many threads read and search, the calling one included; 0 for one
    // a core.
    int threads = 0;
};

// The first match of needle at or after `from`, compared exactly or through
// the code page's upper-case mapping. An empty needle is found at `from`
// when `from` lies inside the source.
Result find(const ByteSource &source, const uint8_t *needle, int64_t needleLen, int64_t from,
            bool caseMatch, const Options &options = {});

} // namespace ChunkSearch
