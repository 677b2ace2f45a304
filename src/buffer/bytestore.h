#pragma once
// A whole file in memory (the store for files of up to kMaxSize bytes),
// indexed from 0 with signed 32-bit indices.
// Owns one block from PageMemory: zero-filled, never copied, released as a
// whole. Only a load replaces the block; everything else reads or replaces
// bytes in place.
#include "bytesource.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

class ByteStore final : public ByteSource
{
public:
    // The largest size that signed 32-bit indices can address.
    static constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();

    ByteStore() = default;
    ~ByteStore() override;
    ByteStore(const ByteStore &) = delete;
    ByteStore &operator=(const ByteStore &) = delete;
    ByteStore(ByteStore &&other) noexcept;
    ByteStore &operator=(ByteStore &&other) noexcept;

    // A store of `size` zero bytes; false (and this store unchanged) when the
    // size is negative, above kMaxSize, or the memory is not to be had.
    bool allocate(int64_t size);

    int64_t size() const override { return m_size; }
    bool read(int64_t pos, int64_t len, uint8_t *dst) const override
    {
        if (pos < 0 || len < 0 || len > m_size - pos)
            return false;
        std::memcpy(dst, m_data + pos, size_t(len));
        return true;
    }
    bool write(int64_t pos, uint8_t value) override
    {
        if (!contains(pos))
            return false;
        m_data[pos] = value;
        return true;
    }
    const uint8_t *span() const override { return m_data; }

    bool contains(int64_t index) const { return index >= 0 && index < m_size; }
    uint8_t *data() { return m_data; }

    void swap(ByteStore &other) noexcept;

private:
    uint8_t *m_data = nullptr;
    int32_t m_size = 0;
};
