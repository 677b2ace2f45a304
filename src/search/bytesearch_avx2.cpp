// The AVX2 build of the search filter. This file alone is compiled for AVX2;
// findBytes() calls into it only after the CPU has said it runs AVX2.
#include "searchkernel.h"

#if defined(VELTRANO_SEARCH_AVX2)
#include <immintrin.h>

namespace SearchDetail {
namespace {
struct Avx2Ops {
    using V = __m256i;
    static constexpr size_t kWidth = 32;
    static V load(const uint8_t *at) { return _mm256_loadu_si256(reinterpret_cast<const V *>(at)); }
    static V splat(uint8_t b) { return _mm256_set1_epi8(char(b)); }
    static V eq(V x, V y) { return _mm256_cmpeq_epi8(x, y); }
    static V both(V x, V y) { return _mm256_and_si256(x, y); }
    static V either(V x, V y) { return _mm256_or_si256(x, y); }
    static uint32_t mask(V x) { return uint32_t(_mm256_movemask_epi8(x)); }
};
} // namespace

int64_t scanAvx2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    return filterScanAny<Avx2Ops>(hay, hayLen, from, p);
}
} // namespace SearchDetail

#else

namespace SearchDetail {
int64_t scanAvx2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    return scanSse2(hay, hayLen, from, p);
}
} // namespace SearchDetail

#endif
