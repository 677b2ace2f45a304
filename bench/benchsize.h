#pragma once
// What the benchmarks share: how a failed step fails the run, the size of their large buffers and files (1 GiB
// unless a benchmark says otherwise, or VELTRANO_BENCH_MB mebibytes when set: the smoke run under `make test`
// sets a few, so that every benchmark runs once in seconds), and the noise
// those files are filled with.
#include <QFile>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <vector>

// Set by every failed step, so that the smoke run under `make test` catches
// a broken benchmark: each benchmark's main returns benchExitCode().
inline bool g_benchFailed = false;

inline void benchFailed(benchmark::State &state, const char *what)
{
    g_benchFailed = true;
    state.SkipWithError(what);
}

inline int benchExitCode()
{
    return g_benchFailed ? 1 : 0;
}

inline int64_t benchBytes(int64_t defaultMiB = 1024)
{
    const char *mb = std::getenv("VELTRANO_BENCH_MB");
    const int64_t n = mb ? std::atoll(mb) : 0;
    return (n > 0 ? n : defaultMiB) << 20;
}

// Writes `size` bytes of pseudo-random noise to the open file: one 8 MiB
// block, repeated. With `avoid` set, that letter appears in neither case, so
// a pattern holding it is never found. False when a write fails.
inline bool writeNoise(QFile &file, int64_t size, char avoid = 0)
{
    std::vector<char> block(8 << 20);
    uint64_t x = 88172645463325252ull;
    for (char &c : block) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = char(x);
        if (avoid && std::tolower(uint8_t(c)) == std::tolower(uint8_t(avoid)))
            c = '.';
    }
    for (int64_t done = 0; done < size; done += int64_t(block.size())) {
        const int64_t n = std::min<int64_t>(int64_t(block.size()), size - done);
        if (file.write(block.data(), n) != n)
            return false;
    }
    return true;
}
