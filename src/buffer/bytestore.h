#pragma once
// A whole file in memory (the buffer's store for files of up to kMaxSize
// bytes), indexed from 0 with signed 32-bit indices.
// Owns one block from PageMemory: zero-filled, never copied, released as a
// whole. Only a load replaces the block; everything else reads or replaces
// bytes in place.
#include <cstdint>
#include <cstddef>
#include <limits>

class ByteStore
{
public:
    // The largest size that signed 32-bit indices can address.
    static constexpr int64_t kMaxSize = std::numeric_limits<int32_t>::max();

    ByteStore() = default;
    ~ByteStore();
    ByteStore(const ByteStore &) = delete;
    ByteStore &operator=(const ByteStore &) = delete;
    ByteStore(ByteStore &&other) noexcept;
    ByteStore &operator=(ByteStore &&other) noexcept;

    // A store of `size` zero bytes; false (and this store unchanged) when the
    // size is negative, above kMaxSize, or the memory is not to be had.
    bool allocate(int64_t size);

    int32_t size() const { return m_size; }
    int32_t upperBound() const { return m_size - 1; }
    bool contains(int64_t index) const { return index >= 0 && index < m_size; }

    uint8_t *data() { return m_data; }
    const uint8_t *data() const { return m_data; }
    uint8_t &operator[](int32_t i) { return m_data[i]; }
    uint8_t operator[](int32_t i) const { return m_data[i]; }

    void swap(ByteStore &other) noexcept;

private:
    uint8_t *m_data = nullptr;
    int32_t m_size = 0;
};
