#pragma once
// Large zero-initialised byte blocks straight from the OS. The pages are
// mapped lazily (no pass over the bytes to clear them), aligned to 2 MiB and,
// where the kernel grants it, backed by huge pages, so that reading a large
// file into a new block costs little more than the read itself.
#include <cstddef>

namespace PageMemory {

// A block of at least `size` bytes, all zero, or nullptr when the OS refuses.
// A size of 0 gives nullptr as well; release(nullptr, 0) is harmless.
void *allocate(std::size_t size);
void release(void *block, std::size_t size);

} // namespace PageMemory
