#include "pagememory.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace PageMemory {
namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Small blocks are not worth a huge page of their own.
constexpr std::size_t kHugeThreshold = kHugePage;

#ifndef _WIN32
std::size_t roundUpToPage(std::size_t size)
{
    static const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}
#endif
}

void *allocate(std::size_t size)
{
    if (size == 0)
        return nullptr;
#ifdef _WIN32
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    if (size < kHugeThreshold) {
        void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    // Over-map by one huge page, then trim both ends so that the block starts
    // on a 2 MiB boundary; the kernel can only use huge pages for aligned runs.
    // The block ends on a page boundary, or the tail could not be unmapped.
    size = roundUpToPage(size);
    const std::size_t span = size + kHugePage;
    void *raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (base + kHugePage - 1) & ~(kHugePage - 1);
    const std::size_t head = aligned - base;
    const std::size_t tail = span - head - size;
    if ((head && munmap(raw, head) != 0)
        || (tail && munmap(reinterpret_cast<void *>(aligned + size), tail) != 0)) {
        // Cannot happen with page-aligned pieces; never hand out a block
        // whose surroundings we could not give back.
        munmap(raw, span);
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void *>(aligned), size, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void *>(aligned);
#endif
}

void release(void *block, std::size_t size)
{
    if (!block)
        return;
#ifdef _WIN32
    (void)size;
    VirtualFree(block, 0, MEM_RELEASE);
#else
    munmap(block, size < kHugeThreshold ? size : roundUpToPage(size));
#endif
}

} // namespace PageMemory
