#pragma once
// Internal to the search library: the vector filter behind findBytes(),
// written once over a small set of vector operations and compiled once per
// instruction set. Every translation unit that includes it gets its own copy
// (internal linkage), so code built for AVX2 can never be picked by the
// linker for a CPU that only has SSE2.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace SearchDetail {

// The pattern as a kernel needs it, prepared once per search.
struct Plan {
    const uint8_t *needle = nullptr; // folded to upper case when `fold` is set
    size_t len = 0;                  // at least 1
    size_t offA = 0;                 // the two pattern positions the filter tests
    size_t offB = 0;
    // Bytes accepted at offA and offB: one byte when the search is exact, each
    // byte that folds to the pattern byte otherwise; repeated to fill.
    uint8_t setA[4] = {};
    uint8_t setB[4] = {};
    int setWidth = 1;               // 1, 2 or 4 entries in use
    // When each set is one byte pair that differs in a single bit, as 'a'/'A'
    // do, OR-ing that bit in and comparing once tests the pair: setA[0] and
    // setB[0] then hold the OR-ed value and these the bit (0 for one byte).
    bool pairsAsBit = false;
    uint8_t bitA = 0;
    uint8_t bitB = 0;
    const uint8_t *fold = nullptr;  // upper-case table, or null for an exact search
};

// Scans starts from..hayLen-plan.len; the caller guarantees that range is not empty.
using ScanFn = int64_t (*)(const uint8_t *hay, size_t hayLen, size_t from, const Plan &plan);

int64_t scanPortable(const uint8_t *hay, size_t hayLen, size_t from, const Plan &plan);
int64_t scanSse2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &plan);
int64_t scanAvx2(const uint8_t *hay, size_t hayLen, size_t from, const Plan &plan);

namespace {

inline bool matchesAt(const uint8_t *hay, size_t at, const Plan &p)
{
    if (!p.fold)
        return std::memcmp(hay + at, p.needle, p.len) == 0;
    for (size_t i = 0; i < p.len; ++i)
        if (p.fold[hay[at + i]] != p.needle[i])
            return false;
    return true;
}

// Ops supplies V (the vector type), kWidth, load, splat, eq, both, either and
// mask (one bit a byte). K is the number of accepted bytes at each filter
// position. Candidates, where both filter bytes fit, are confirmed with a
// full compare; on random data they are about one start in 65536.
template <class Ops, int K, bool Bit>
inline int64_t filterScan(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    using V = typename Ops::V;
    constexpr size_t W = Ops::kWidth;
    V a[K], b[K];
    for (int k = 0; k < K; ++k) {
        a[k] = Ops::splat(p.setA[k]);
        b[k] = Ops::splat(p.setB[k]);
    }
    const V bitA = Ops::splat(p.bitA);
    const V bitB = Ops::splat(p.bitB);
    auto hits = [&](const uint8_t *at) {
        V x = Ops::load(at + p.offA);
        V y = Ops::load(at + p.offB);
        if constexpr (Bit) {
            x = Ops::either(x, bitA);
            y = Ops::either(y, bitB);
        }
        V ma = Ops::eq(x, a[0]);
        V mb = Ops::eq(y, b[0]);
        for (int k = 1; k < K; ++k) {
            ma = Ops::either(ma, Ops::eq(x, a[k]));
            mb = Ops::either(mb, Ops::eq(y, b[k]));
        }
        return Ops::both(ma, mb);
    };

    // Starts pos..pos+W-1 are all valid and their loads stay inside the
    // buffer while pos + W <= end, because offB < len.
    const size_t end = hayLen - p.len + 1;
    size_t pos = from;
    while (end - pos >= 2 * W) {
        uint64_t m = uint64_t(Ops::mask(hits(hay + pos)))
            | (uint64_t(Ops::mask(hits(hay + pos + W))) << W);
        while (m) {
            const size_t at = pos + size_t(__builtin_ctzll(m));
            if (matchesAt(hay, at, p))
                return int64_t(at);
            m &= m - 1;
        }
        pos += 2 * W;
    }
    if (end - pos >= W) {
        uint64_t m = uint64_t(Ops::mask(hits(hay + pos)));
        while (m) {
            const size_t at = pos + size_t(__builtin_ctzll(m));
            if (matchesAt(hay, at, p))
                return int64_t(at);
            m &= m - 1;
        }
        pos += W;
    }
    for (; pos < end; ++pos)
        if (matchesAt(hay, pos, p))
            return int64_t(pos);
    return -1;
}

template <class Ops>
inline int64_t filterScanAny(const uint8_t *hay, size_t hayLen, size_t from, const Plan &p)
{
    if (p.pairsAsBit)
        return filterScan<Ops, 1, true>(hay, hayLen, from, p);
    switch (p.setWidth) {
    case 1:
        return filterScan<Ops, 1, false>(hay, hayLen, from, p);
    case 2:
        return filterScan<Ops, 2, false>(hay, hayLen, from, p);
    default:
        return filterScan<Ops, 4, false>(hay, hayLen, from, p);
    }
}

} // namespace
} // namespace SearchDetail
