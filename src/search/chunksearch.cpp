#include "chunksearch.h"

#include "bytesearch.h"

#include <algorithm>
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
    std::vector<uint8_t> chunk;
    for (int64_t pos = from;; pos += step) {
        chunk.resize(size_t(std::min(step + overlap, size - pos)));
        if (!source.read(pos, int64_t(chunk.size()), chunk.data()))
            return {Result::ReadFailed, -1};
        const int64_t found = findBytes(chunk.data(), chunk.size(), needle, size_t(needleLen), 0, caseMatch);
        if (found >= 0)
            return {Result::Found, pos + found};
        // The chunk reached the end of the source: nothing is left to read.
        if (pos + int64_t(chunk.size()) >= size)
            return {};
        if (options.progress)
            options.progress(pos + step);
        if (options.cancel && options.cancel->load())
            return {Result::Cancelled, -1};
    }
}

} // namespace ChunkSearch
