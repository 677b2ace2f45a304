#pragma once
// Search of a byte run for a pattern, exact or through the code page's
// upper-case mapping. Works on the bytes in place: nothing is copied and
// nothing is allocated that grows with the buffer, so a search of a 1 GiB
// buffer costs no more memory than a search of ten bytes.
#include <cstddef>
#include <cstdint>

// The first index at or after `from` where `needle` starts in `hay`, or -1.
// With caseMatch false both sides are compared through Ansi::upperTable(), so
// 'a' finds 'A' and 0x9A (s caron) finds 0x8A. An empty needle is found at
// `from` when `from` lies within 0..hayLen.
int64_t findBytes(const uint8_t *hay, size_t hayLen, const uint8_t *needle, size_t needleLen,
                  size_t from, bool caseMatch);

// The ways the search can scan. findBytes() takes the fastest one the CPU
// runs; the others stay callable so that each can be measured and checked.
enum class SearchKernel {
    Portable, // plain C++, any CPU
    Sse2,     // 16 bytes a step
    Avx2,     // 32 bytes a step
};

bool isKernelAvailable(SearchKernel kernel);
SearchKernel bestKernel();

// findBytes() with a chosen kernel; an unavailable one falls back to Portable.
int64_t findBytesUsing(SearchKernel kernel, const uint8_t *hay, size_t hayLen,
                       const uint8_t *needle, size_t needleLen, size_t from, bool caseMatch);
