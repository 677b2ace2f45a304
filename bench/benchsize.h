#pragma once
// The size of the large buffers and files that the benchmarks use: 1 GiB,
// or VELTRANO_BENCH_MB mebibytes when set (the smoke run under `make test`
// sets a few, so that every benchmark runs once in seconds).
#include <cstdint>
#include <cstdlib>

inline int64_t benchBytes()
{
    const char *mb = std::getenv("VELTRANO_BENCH_MB");
    const int64_t n = mb ? std::atoll(mb) : 0;
    return (n > 0 ? n : 1024) << 20;
}
