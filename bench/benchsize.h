#pragma once
// What the benchmarks share: how a failed step fails the run, how a run
// starts, the size of their large buffers and files (1 GiB unless a
// benchmark says otherwise, or VELTRANO_BENCH_MB mebibytes when set: the
// smoke run under `make test` sets a few, so that every benchmark runs once
// in seconds), and the files of noise they read.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
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

// Reads the command line, with the repetitions of all cases run in random
// order unless it says otherwise: on a shared machine a case and its
// baseline then meet the same load. False on an argument it does not know.
inline bool benchInitialize(int &argc, char **argv)
{
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> args(argv, argv + argc);
    const bool given = std::any_of(args.begin(), args.end(), [](const char *a) {
        return std::strstr(a, "--benchmark_enable_random_interleaving") == a;
    });
    if (!given)
        args.insert(args.begin() + std::min(argc, 1), interleave);
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

// `fallback` units, or the value of the environment variable when it is set;
// in bytes, a unit being 1 << shift.
inline int64_t benchSize(const char *variable, int64_t fallback, int shift)
{
    const char *value = std::getenv(variable);
    const int64_t n = value ? std::atoll(value) : 0;
    return (n > 0 ? n : fallback) << shift;
}

inline int64_t benchBytes(int64_t defaultMiB = 1024)
{
    return benchSize("VELTRANO_BENCH_MB", defaultMiB, 20);
}

// The folder of this run's files, removed at exit.
inline QString benchPath(const QString &name)
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/veltrano-bench-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot make a folder for the benchmark's files\n");
        std::exit(1);
    }
    return folder.filePath(name);
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

// A file `name` of `size` bytes of noise (see writeNoise) in the run's
// folder, every byte of it on disk, written back before anything is timed so
// that no flush of it runs under one case and not under its baseline. Ends
// the run when it cannot be made.
inline QString noiseFile(const QString &name, int64_t size, char avoid = 0)
{
    const QString path = benchPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !writeNoise(file, size, avoid) || !file.flush()
        || ::fsync(file.handle()) != 0) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        std::exit(1);
    }
    return path;
}
