#include "chunksearch.h"

#include "bytesearch.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <vector>

namespace ChunkSearch {

namespace {

constexpr int64_t kNone = std::numeric_limits<int64_t>::max();

void lower(std::atomic<int64_t> &value, int64_t to)
{
    int64_t now = value.load();
    while (to < now && !value.compare_exchange_weak(now, to)) {
    }
}

// What the threads share. Chunk i starts at from + i * step; chunks are
// taken in order, and one that starts past a match already found is left
// unread: the first match is then the lowest one found.
struct Shared {
    const ByteSource &source;
    const uint8_t *needle;
    int64_t needleLen;
    int64_t from, step, chunks, size;
    bool caseMatch;
    const std::atomic<bool> *cancel;
    std::atomic<int64_t> next{0};
    std::atomic<int64_t> done{0};       // chunks searched
    std::atomic<int64_t> found{kNone};  // the lowest match
    std::atomic<int64_t> failed{kNone}; // the lowest chunk that could not be read
    std::atomic<bool> stopped{false};

    // Takes and searches chunks until none is left; `afterEach` runs after
    // every chunk this thread searched.
    template<typename After>
    void work(After afterEach)
    {
        std::vector<uint8_t> bytes;
        for (;;) {
            if (cancel && cancel->load())
                stopped = true;
            const int64_t i = next.fetch_add(1);
            const int64_t pos = from + i * step;
            if (stopped || i >= chunks || pos >= found.load() || pos >= failed.load())
                return;
            bytes.resize(size_t(std::min(step + needleLen - 1, size - pos)));
            if (!source.read(pos, int64_t(bytes.size()), bytes.data())) {
                lower(failed, pos);
                return;
            }
            const int64_t at = findBytes(bytes.data(), bytes.size(), needle, size_t(needleLen), 0, caseMatch);
            if (at >= 0)
                lower(found, pos + at);
            ++done;
            afterEach();
        }
    }
};

int threadCount(const Options &options)
{
    if (options.threads > 0)
        return options.threads;
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

} // namespace

Result find(const ByteSource &source, const uint8_t *needle, int64_t needleLen, int64_t from,
            bool caseMatch, const Options &options)
{
    const int64_t size = source.size();
    if (from < 0 || from >= size)
        return {};
    if (const uint8_t *all = source.span()) {
        const int64_t found = findBytes(all, size_t(size), needle, size_t(needleLen), size_t(from), caseMatch);
        return found < 0 ? Result{} : Result{Result::Found, found};
    }
    if (needleLen == 0)
        return {Result::Found, from};

    const int64_t step = std::max<int64_t>(options.chunkSize, 1);
    Shared shared{source, needle, needleLen, from, step, (size - from + step - 1) / step, size,
                  caseMatch, options.cancel};
    source.expectSequentialReads(from);
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::min<int64_t>(threadCount(options), shared.chunks); ++i)
        helpers.emplace_back([&shared] { shared.work([] {}); });
    // Progress counts the chunks searched by every thread, reported on this one.
    shared.work([&] {
        if (options.progress)
            options.progress(std::min(size, from + shared.done.load() * step));
    });
    for (std::thread &helper : helpers)
        helper.join();

    if (shared.stopped)
        return {Result::Cancelled, -1};
    const int64_t found = shared.found.load();
    if (found < shared.failed.load())
        return {Result::Found, found};
    if (shared.failed.load() != kNone)
        return {Result::ReadFailed, -1};
    return {};
}

} // namespace ChunkSearch
