// Loading and saving a 1 GiB file beside their baselines, in one run:
// - load: FileIO::load against a plain read() of the same file into a newly
//   allocated (malloc) buffer, the page cache warm for both;
// - save: FileIO::save against a plain write() to a new file and fsync(),
//   both through the replacement beside the file and in place (a target
//   with a second hard link, written after a flushed copy: twice the bytes).
// Also prints the peak resident memory of a load into a process that already
// holds a 1 GiB buffer. Set VELTRANO_BENCH_MB to change the size.
#include "benchsize.h"
#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int64_t benchSize()
{
    return benchBytes();
}

const QString &sourceFile()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/veltrano-bench-XXXXXX"));
    static QString path = [] {
        const QString p = dir.filePath(QStringLiteral("source.bin"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        if (!writeNoise(f, benchSize()))
            std::abort();
        return p;
    }();
    return path;
}

QString targetPath()
{
    return sourceFile() + QStringLiteral(".out");
}

void BM_LoadFileIO(benchmark::State &state)
{
    const QString path = sourceFile();
    for (auto _ : state) {
        ByteStore store;
        if (!FileIO::load(path, store).isEmpty())
            benchFailed(state, "load failed");
        benchmark::DoNotOptimize(store.data());
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

void BM_LoadPlainRead(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(sourceFile());
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY);
        char *buf = static_cast<char *>(std::malloc(size_t(benchSize())));
        int64_t done = 0;
        while (done < benchSize()) {
            const ssize_t n = ::read(fd, buf + done, size_t(std::min<int64_t>(benchSize() - done, 1 << 30)));
            if (n <= 0)
                break;
            done += n;
        }
        ::close(fd);
        benchmark::DoNotOptimize(buf);
        std::free(buf);
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

ByteStore &loaded()
{
    static ByteStore store;
    if (store.size() == 0)
        FileIO::load(sourceFile(), store);
    return store;
}

void BM_SaveFileIO(benchmark::State &state)
{
    ByteStore &store = loaded();
    for (auto _ : state) {
        if (!FileIO::save(targetPath(), store).isEmpty())
            benchFailed(state, "save failed");
        state.PauseTiming();
        QFile::remove(targetPath());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

void BM_SavePlainWriteFsync(benchmark::State &state)
{
    ByteStore &store = loaded();
    const QByteArray path = QFile::encodeName(targetPath());
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int64_t done = 0;
        while (done < store.size()) {
            const ssize_t n = ::write(fd, store.data() + done, size_t(std::min<int64_t>(store.size() - done, 1 << 30)));
            if (n <= 0)
                break;
            done += n;
        }
        ::fsync(fd);
        ::close(fd);
        state.PauseTiming();
        QFile::remove(targetPath());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

// The hard-linked target, made once: every repetition then overwrites it,
// as a user saving the same file again would.
const QString &linkedTarget()
{
    static const QString target = [] {
        const QString path = sourceFile() + QStringLiteral(".linked");
        const QByteArray second = QFile::encodeName(path + QStringLiteral("2"));
        if (!FileIO::save(path, loaded()).isEmpty() || ::link(QFile::encodeName(path).constData(), second.constData()) != 0)
            return QString();
        return path;
    }();
    return target;
}

void BM_SaveInPlace(benchmark::State &state)
{
    ByteStore &store = loaded();
    const QString &target = linkedTarget();
    if (target.isEmpty()) {
        benchFailed(state, "could not set up the hard-linked target");
        return;
    }
    for (auto _ : state) {
        if (!FileIO::save(target, store).isEmpty())
            benchFailed(state, "save failed");
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

BENCHMARK(BM_LoadPlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFileIO)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SavePlainWriteFsync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveFileIO)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

long peakKb()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kb = std::atol(line + 6);
    std::fclose(f);
    return kb;
}

void reportPeakMemory()
{
    // Peak while replacing a loaded buffer by a new load: old + new + a little.
    ByteStore buffer;
    FileIO::load(sourceFile(), buffer);
    const long before = peakKb();
    FileIO::load(sourceFile(), buffer);
    const long after = peakKb();
    std::printf("peak resident before second load: %ld MiB, after: %ld MiB (file %lld MiB)\n",
                before / 1024, after / 1024, static_cast<long long>(benchSize() >> 20));
}

} // namespace

int main(int argc, char **argv)
{
    // First, while nothing else has raised the process's peak.
    reportPeakMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
