#pragma once
// Search of any ByteSource for a pattern. A store held in memory is searched
// in place in one pass; any other is read in large sequential chunks, each
// overlapping the next by the pattern's length less one so that a match
// across two chunks is found. The next chunk is read on a second thread
// while one is searched. Memory use is two chunks, whatever the size of the
// source.
#include "bytesource.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace ChunkSearch {

// A chunk stays within a desktop CPU's last-level cache, so the search reads
// what pread just wrote from the cache, not from memory.
constexpr int64_t kDefaultChunk = int64_t(2) << 20;

struct Result {
    enum Status { Found, NotFound, ReadFailed, Cancelled };
    Status status = NotFound;
    int64_t index = -1; // where the match starts, when Found
};

struct Options {
    int64_t chunkSize = kDefaultChunk;
    // Checked between chunks; a set flag ends the search as Cancelled.
    const std::atomic<bool> *cancel = nullptr;
    // Called after each chunk with the position searched up to.
    std::function<void(int64_t)> progress;
};

// The first match of needle at or after `from`, compared exactly or through
// the code page's upper-case mapping. An empty needle is found at `from`
// when `from` lies inside the source.
Result find(const ByteSource &source, const uint8_t *needle, int64_t needleLen, int64_t from,
            bool caseMatch, const Options &options = {});

} // namespace ChunkSearch
