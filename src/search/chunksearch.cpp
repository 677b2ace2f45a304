#include "chunksearch.h"

#include "bytesearch.h"

#include <algorithm>
#include <future>
#include <vector>

namespace ChunkSearch {

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
    const int64_t overlap = needleLen - 1;
    const auto lengthAt = [&](int64_t pos) { return std::min(step + overlap, size - pos); };
    const auto readAt = [&source, &lengthAt](int64_t pos, std::vector<uint8_t> *into) {
        into->resize(size_t(lengthAt(pos)));
        return source.read(pos, int64_t(into->size()), into->data());
    };

    std::vector<uint8_t> current, next;
    bool currentRead = readAt(from, &current);
    for (int64_t pos = from;; pos += step) {
        if (!currentRead)
            return {Result::ReadFailed, -1};
        const int64_t nextPos = pos + step;
        // The next chunk is needed only if this one ends before the source does.
        const bool more = pos + int64_t(current.size()) < size;
        std::future<bool> ahead;
        if (more)
            ahead = std::async(std::launch::async, readAt, nextPos, &next);
        const int64_t found =
            findBytes(current.data(), current.size(), needle, size_t(needleLen), 0, caseMatch);
        if (found >= 0) {
            if (ahead.valid())
                ahead.wait();
            return {Result::Found, pos + found};
        }
        if (!more)
            return {};
        currentRead = ahead.get();
        if (options.progress)
            options.progress(nextPos);
        if (options.cancel && options.cancel->load())
            return {Result::Cancelled, -1};
        current.swap(next);
    }
}

} // namespace ChunkSearch
