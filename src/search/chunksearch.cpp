#include "chunksearch.h"

#include "bytesearch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace ChunkSearch {

namespace {

// Reads the chunks on a thread of its own, one ahead of the search: while
// one chunk is searched the next is read, so on two cores a search costs
// little more than the reading. Two buffers take turns; a buffer is refilled
// only once the search has let it go.
class ReadAhead
{
public:
    struct Chunk {
        std::vector<uint8_t> bytes;
        int64_t pos = 0;
        bool ok = false;
        bool last = false; // reaches the end of the source, or failed
        bool full = false; // filled and not yet let go by the search
    };

    ReadAhead(const ByteSource &source, int64_t from, int64_t step, int64_t overlap)
        : m_source(source), m_from(from), m_step(step), m_overlap(overlap)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~ReadAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The next chunk in order, once it is read.
    const Chunk &next()
    {
        Chunk &c = m_chunks[m_taken % 2];
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [&] { return c.full; });
        return c;
    }
    // The search is done with the chunk next() gave: its buffer may be refilled.
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_chunks[m_taken % 2].full = false;
        }
        ++m_taken;
        m_changed.notify_all();
    }

private:
    void run()
    {
        const int64_t size = m_source.size();
        for (int64_t i = 0, pos = m_from;; ++i, pos += m_step) {
            Chunk &c = m_chunks[i % 2];
            {
                std::unique_lock<std::mutex> lock(m_lock);
                m_changed.wait(lock, [&] { return m_stop || !c.full; });
                if (m_stop)
                    return;
            }
            c.bytes.resize(size_t(std::min(m_step + m_overlap, size - pos)));
            c.pos = pos;
            c.ok = m_source.read(pos, int64_t(c.bytes.size()), c.bytes.data());
            c.last = !c.ok || pos + int64_t(c.bytes.size()) >= size;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                c.full = true;
            }
            m_changed.notify_all();
            if (c.last)
                return;
        }
    }

    const ByteSource &m_source;
    const int64_t m_from, m_step, m_overlap;
    Chunk m_chunks[2];
    int64_t m_taken = 0;
    bool m_stop = false;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
};

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
    ReadAhead reader(source, from, step, needleLen - 1);
    for (;;) {
        const ReadAhead::Chunk &chunk = reader.next();
        if (!chunk.ok)
            return {Result::ReadFailed, -1};
        const int64_t found = findBytes(chunk.bytes.data(), chunk.bytes.size(), needle, size_t(needleLen), 0,
                                        caseMatch);
        if (found >= 0)
            return {Result::Found, chunk.pos + found};
        // The chunk reached the end of the source: nothing is left to read.
        if (chunk.last)
            return {};
        const int64_t searched = chunk.pos + step;
        reader.release();
        if (options.progress)
            options.progress(searched);
        if (options.cancel && options.cancel->load())
            return {Result::Cancelled, -1};
    }
}

} // namespace ChunkSearch
