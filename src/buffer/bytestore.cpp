#include "bytestore.h"

#include "pagememory.h"

#include <utility>

ByteStore::~ByteStore()
{
    PageMemory::release(m_data, static_cast<std::size_t>(m_size));
}

ByteStore::ByteStore(ByteStore &&other) noexcept
{
    swap(other);
}

ByteStore &ByteStore::operator=(ByteStore &&other) noexcept
{
    ByteStore gone(std::move(other));
    swap(gone);
    return *this;
}

bool ByteStore::allocate(int64_t size)
{
    if (size < 0 || size > kMaxSize)
        return false;
    uint8_t *block = nullptr;
    if (size > 0) {
        block = static_cast<uint8_t *>(PageMemory::allocate(static_cast<std::size_t>(size)));
        if (!block)
            return false;
    }
    PageMemory::release(m_data, static_cast<std::size_t>(m_size));
    m_data = block;
    m_size = static_cast<int32_t>(size);
    return true;
}

void ByteStore::swap(ByteStore &other) noexcept
{
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
}
