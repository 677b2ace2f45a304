#pragma once
// The open file's bytes, whichever store holds them: the whole file in one
// ByteStore (up to ByteStore::kMaxSize bytes, read at load), or a PagedFile
// read on demand (any size). Positions are 64-bit everywhere. The in-memory
// store answers through span() and inline paths, so the grid and the search
// run as fast as on a plain array.
#include "bytesource.h"
#include "bytestore.h"
#include "pagedfile.h"

#include <cstring>
#include <memory>

class FileBuffer final : public ByteSource
{
public:
    // One byte of the buffer as an assignable value: buffer[i] = v writes
    // through the interface, and reading it gives the byte (0 if unreadable).
    class Ref
    {
    public:
        Ref(FileBuffer &buffer, int64_t pos) : m_buffer(buffer), m_pos(pos) {}
        operator uint8_t() const { return m_buffer.byte(m_pos); }
        Ref &operator=(uint8_t value)
        {
            m_buffer.write(m_pos, value);
            return *this;
        }

    private:
        FileBuffer &m_buffer;
        int64_t m_pos;
    };

    // `size` zero bytes in memory; false (and the buffer unchanged) when the
    // size is negative, above ByteStore::kMaxSize, or the memory is not to be had.
    bool allocate(int64_t size);
    // Takes the store as the buffer's contents, dropping the previous ones.
    void adopt(ByteStore &&store);
    void adopt(std::shared_ptr<PagedFile> file);

    int64_t size() const override { return m_paged ? m_paged->size() : m_memory.size(); }
    int64_t upperBound() const { return size() - 1; }
    bool contains(int64_t index) const { return index >= 0 && index < size(); }

    bool read(int64_t pos, int64_t len, uint8_t *dst) const override
    {
        if (m_paged)
            return m_paged->read(pos, len, dst);
        if (pos < 0 || len < 0 || len > m_memory.size() - pos)
            return false;
        std::memcpy(dst, m_memory.data() + pos, size_t(len));
        return true;
    }
    bool write(int64_t pos, uint8_t value) override
    {
        if (m_paged)
            return m_paged->write(pos, value);
        if (!m_memory.contains(pos))
            return false;
        m_memory[int32_t(pos)] = value;
        return true;
    }
    const uint8_t *span() const override { return m_paged ? nullptr : m_memory.data(); }
    Fault fault() const override { return m_paged ? m_paged->fault() : Fault::None; }

    uint8_t operator[](int64_t pos) const { return byte(pos); }
    Ref operator[](int64_t pos) { return Ref(*this, pos); }

    // The whole-file store, or nullptr when the file is read on demand.
    const ByteStore *memory() const { return m_paged ? nullptr : &m_memory; }
    uint8_t *data() { return m_paged ? nullptr : m_memory.data(); }
    const uint8_t *data() const { return span(); }
    // The on-demand store, or nullptr; shared so that a search running
    // beside the window keeps it alive across a load.
    const std::shared_ptr<PagedFile> &paged() const { return m_paged; }

private:
    ByteStore m_memory;
    std::shared_ptr<PagedFile> m_paged;
};
