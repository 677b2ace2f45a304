#include "filebuffer.h"

bool FileBuffer::allocate(int64_t size)
{
    ByteStore fresh;
    if (!fresh.allocate(size))
        return false;
    adopt(std::move(fresh));
    return true;
}

void FileBuffer::adopt(ByteStore &&store)
{
    m_memory = std::move(store);
    m_paged.reset();
}

void FileBuffer::adopt(std::shared_ptr<PagedFile> file)
{
    ByteStore none;
    m_memory.swap(none);
    m_paged = std::move(file);
}
