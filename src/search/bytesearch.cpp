#include "bytesearch.h"

#include "ansi.h"
#include "searchkernel.h"

#include <array>
#include <optional>
#include <utility>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace SearchDetail {

int64_t scanPortable(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    const size_t end = hayLen - p.len + 1;
    if (!p.fold) {
        // memchr on the first byte is the fastest portable filter there is.
        size_t pos = from;
        while (pos < end) {
            const void *hit = std::memchr(hay + pos, p.needle[0], end - pos);
            if (!hit)
                return -1;
            pos = size_t(static_cast<const uint8_t *>(hit) - hay);
            if (matchesAt(hay, pos, p))
                return int64_t(pos);
            ++pos;
        }
        return -1;
    }
    for (size_t pos = from; pos < end; ++pos)
        if (p.fold[hay[pos + p.offA]] == p.needle[p.offA] && matchesAt(hay, pos, p))
            return int64_t(pos);
    return -1;
}

#if defined(__SSE2__)
namespace {
struct Sse2Ops {
    using V = __m128i;
    static constexpr size_t kWidth = 16;
    static V load(const uint8_t *at) { return _mm_loadu_si128(reinterpret_cast<const V *>(at)); }
    static V splat(uint8_t b) { return _mm_set1_epi8(char(b)); }
    static V eq(V x, V y) { return _mm_cmpeq_epi8(x, y); }
    static V both(V x, V y) { return _mm_and_si128(x, y); }
    static V either(V x, V y) { return _mm_or_si128(x, y); }
    static uint32_t mask(V x) { return uint32_t(_mm_movemask_epi8(x)); }
};
} // namespace

int64_t scanSse2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    return filterScanAny<Sse2Ops>(hay, hayLen, from, p);
}
#else
int64_t scanSse2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    return scanPortable(hay, hayLen, from, p);
}
#endif

} // namespace SearchDetail

namespace {

using namespace SearchDetail;

bool cpuHasAvx2()
{
#if defined(VELTRANO_SEARCH_AVX2)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

// Fills one filter position's accepted bytes; false when more bytes fold
// together than a kernel tests (never for Windows-1252, where at most two do).
bool fillSet(uint8_t (&set)[4], int &width, uint8_t patternByte, const uint8_t *fold)
{
    if (!fold) {
        set[0] = set[1] = set[2] = set[3] = patternByte;
        return true;
    }
    int n = 0;
    for (int b = 0; b < 256; ++b) {
        if (fold[b] != fold[patternByte])
            continue;
        if (n == 4)
            return false;
        set[n++] = uint8_t(b);
    }
    // Unused entries repeat members, which the filter may test twice harmlessly.
    for (int k = n; k < 4; ++k)
        set[k] = set[k - n];
    const int needed = n <= 1 ? 1 : n == 2 ? 2 : 4;
    if (needed > width)
        width = needed;
    return true;
}

// For a set of one byte, or of two that differ in one bit: that bit (0 for a
// single byte) and the value the filter compares with once it is OR-ed in.
std::optional<std::pair<uint8_t, uint8_t>> singleBitPair(const uint8_t (&set)[4], int members)
{
    if (members == 1)
        return std::pair<uint8_t, uint8_t>{0, set[0]};
    const uint8_t diff = set[0] ^ set[1];
    if (members == 2 && (diff & (diff - 1)) == 0)
        return std::pair<uint8_t, uint8_t>{diff, uint8_t(set[0] | diff)};
    return std::nullopt;
}

int memberCount(const uint8_t (&set)[4])
{
    int n = 1;
    while (n < 4 && set[n] != set[0])
        ++n;
    return n;
}

} // namespace

bool isKernelAvailable(SearchKernel kernel)
{
    switch (kernel) {
    case SearchKernel::Portable:
        return true;
    case SearchKernel::Sse2:
#if defined(__SSE2__)
        return true;
#else
        return false;
#endif
    case SearchKernel::Avx2:
        return cpuHasAvx2();
    }
    return false;
}

SearchKernel bestKernel()
{
    if (isKernelAvailable(SearchKernel::Avx2))
        return SearchKernel::Avx2;
    if (isKernelAvailable(SearchKernel::Sse2))
        return SearchKernel::Sse2;
    return SearchKernel::Portable;
}

int64_t findBytesUsing(SearchKernel kernel, const uint8_t *hay, size_t hayLen,
                       const uint8_t *needle, size_t needleLen, size_t from, bool caseMatch)
{
    if (needleLen == 0)
        return from <= hayLen ? int64_t(from) : -1;
    if (!hay || !needle || from > hayLen || hayLen - from < needleLen)
        return -1;
    if (caseMatch && needleLen == 1) {
        const void *hit = std::memchr(hay + from, needle[0], hayLen - from);
        return hit ? int64_t(static_cast<const uint8_t *>(hit) - hay) : -1;
    }

    Plan plan;
    plan.len = needleLen;
    plan.fold = caseMatch ? nullptr : Ansi::upperTable();

    // The folded pattern is as long as the pattern, never as the buffer.
    std::array<uint8_t, 64> small;
    std::vector<uint8_t> large;
    if (plan.fold) {
        uint8_t *folded = small.data();
        if (needleLen > small.size()) {
            large.resize(needleLen);
            folded = large.data();
        }
        for (size_t i = 0; i < needleLen; ++i)
            folded[i] = plan.fold[needle[i]];
        plan.needle = folded;
    } else {
        plan.needle = needle;
    }

    // Filter on the first byte and on the last one that differs from it, so
    // that a run such as "AAAB" is not filtered on two equal bytes.
    plan.offA = 0;
    plan.offB = needleLen - 1;
    while (plan.offB > 0 && plan.needle[plan.offB] == plan.needle[0])
        --plan.offB;
    if (plan.offB == 0)
        plan.offB = needleLen - 1;

    const bool setsFit = fillSet(plan.setA, plan.setWidth, needle[plan.offA], plan.fold)
        && fillSet(plan.setB, plan.setWidth, needle[plan.offB], plan.fold);
    if (!setsFit || !isKernelAvailable(kernel))
        kernel = SearchKernel::Portable;
    if (plan.fold && setsFit) {
        const auto a = singleBitPair(plan.setA, memberCount(plan.setA));
        const auto b = singleBitPair(plan.setB, memberCount(plan.setB));
        if (a && b) {
            plan.pairsAsBit = true;
            plan.bitA = a->first;
            plan.setA[0] = a->second;
            plan.bitB = b->first;
            plan.setB[0] = b->second;
        }
    }

    switch (kernel) {
    case SearchKernel::Avx2:
        return scanAvx2(hay, hayLen, from, plan);
    case SearchKernel::Sse2:
        return scanSse2(hay, hayLen, from, plan);
    case SearchKernel::Portable:
        break;
    }
    return scanPortable(hay, hayLen, from, plan);
}

int64_t findBytes(const uint8_t *hay, size_t hayLen, const uint8_t *needle, size_t needleLen,
                  size_t from, bool caseMatch)
{
    static const SearchKernel kernel = bestKernel();
    return findBytesUsing(kernel, hay, hayLen, needle, needleLen, from, caseMatch);
}
