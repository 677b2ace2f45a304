#include "pagememory.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace PageMemory {
namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Small blocks are not worth a huge page of their own.
constexpr std::size_t kHugeThreshold = kHugePage;
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
    const std::size_t span = size + kHugePage;
    void *raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto base = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (base + kHugePage - 1) & ~(kHugePage - 1);
    const std::size_t head = aligned - base;
    const std::size_t tail = span - head - size;
    if (head)
        munmap(raw, head);
    if (tail)
        munmap(reinterpret_cast<void *>(aligned + size), tail);
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
    munmap(block, size);
#endif
}

} // namespace PageMemory
