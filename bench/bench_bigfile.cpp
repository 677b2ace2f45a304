// Files read on demand, each case beside its baseline in one run:
// - open a sparse file of VELTRANO_BENCH_SPARSE_GB GiB (64; 3 or more keeps
//   it on demand) through the editor's load, against a bare open + fstat +
//   close of the same file;
//   the resident memory it adds, with 200 pages read all over it, is printed;
// - a page of the main window repainted anywhere in that file (cache warm),
//   against the same repaint of a 1 MiB buffer held in memory;
// - Find of an absent 8-byte pattern over a file of VELTRANO_BENCH_FIND_MB
//   MiB (4096) in the page cache, both case modes, against a plain loop of
//   8 MiB preads over the same file (wall-clock time).
#include "benchsize.h"
#include "bufferfile.h"
#include "chunksearch.h"
#include "hexdisplay.h"
#include "mainmods.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int64_t envSize(const char *name, int64_t fallback, int shift)
{
    const char *v = std::getenv(name);
    return int64_t(v ? std::atoll(v) : fallback) << shift;
}

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/veltrano-bench-XXXXXX"));
    return dir;
}

const QString &sparseFile()
{
    static const QString path = [] {
        const QString p = tempDir().filePath(QStringLiteral("sparse.bin"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(envSize("VELTRANO_BENCH_SPARSE_GB", 64, 30)))
            std::abort();
        return p;
    }();
    return path;
}

// Pseudo-random bytes with no 'Q' or 'q', so the pattern below never matches.
const QString &findFile()
{
    static const QString path = [] {
        const QString p = tempDir().filePath(QStringLiteral("find.bin"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        if (!writeNoise(f, envSize("VELTRANO_BENCH_FIND_MB", 4096, 20), 'Q'))
            std::abort();
        // Written back before anything is timed, so no flush to disk runs
        // under one case and not under its baseline.
        if (!f.flush() || ::fsync(f.handle()) != 0)
            std::abort();
        return p;
    }();
    return path;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void BM_OpenOnDemand(benchmark::State &state)
{
    const QString path = sparseFile();
    for (auto _ : state) {
        FileBuffer buffer;
        if (!BufferFile::load(path, buffer).isEmpty())
            benchFailed(state, "load failed");
    }
}
BENCHMARK(BM_OpenOnDemand)->Unit(benchmark::kMicrosecond);

void BM_OpenBaseline(benchmark::State &state)
{
    const QByteArray name = QFile::encodeName(sparseFile());
    for (auto _ : state) {
        const int fd = ::open(name.constData(), O_RDONLY);
        struct stat st {};
        ::fstat(fd, &st);
        benchmark::DoNotOptimize(st.st_size);
        ::close(fd);
    }
}
BENCHMARK(BM_OpenBaseline)->Unit(benchmark::kMicrosecond);

HexDisplay *window()
{
    static HexDisplay *w = [] {
        auto *hd = new HexDisplay;
        hd->show();
        (void)QTest::qWaitForWindowExposed(hd);
        return hd;
    }();
    return w;
}

// Eight views spread over the file, 16 pages in all: every one stays cached.
void cycleViews(benchmark::State &state)
{
    HexDisplay *w = window();
    const int64_t size = MainMods::ByteBuffer.size();
    int i = 0;
    for (auto _ : state) {
        i = (i + 1) % 8;
        w->setViewStart((size - 1600) / 8 * i + 4321);
    }
}

void BM_RepaintOnDemand(benchmark::State &state)
{
    if (!BufferFile::load(sparseFile(), MainMods::ByteBuffer).isEmpty())
        benchFailed(state, "load failed");
    window()->GoNow();
    cycleViews(state);
}
BENCHMARK(BM_RepaintOnDemand)->Unit(benchmark::kMicrosecond);

void BM_RepaintInMemoryBaseline(benchmark::State &state)
{
    MainMods::ByteBuffer.allocate(1 << 20);
    window()->GoNow();
    cycleViews(state);
}
BENCHMARK(BM_RepaintInMemoryBaseline)->Unit(benchmark::kMicrosecond);

void BM_FindOnDemand(benchmark::State &state)
{
    QString why;
    std::unique_ptr<PagedFile> file = PagedFile::open(findFile(), &why);
    if (!file) {
        benchFailed(state, "open failed");
        return;
    }
    const bool caseMatch = state.range(0) != 0;
    ChunkSearch::Options options;
    for (auto _ : state) {
        const ChunkSearch::Result r = ChunkSearch::find(
            *file, reinterpret_cast<const uint8_t *>("QUICKFOX"), 8, 0, caseMatch, options);
        if (r.status != ChunkSearch::Result::NotFound)
            benchFailed(state, "unexpected result");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file->size());
    state.SetLabel(caseMatch ? "exact" : "any case");
}
BENCHMARK(BM_FindOnDemand)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PreadBaseline(benchmark::State &state)
{
    const int fd = ::open(QFile::encodeName(findFile()).constData(), O_RDONLY);
    struct stat st {};
    ::fstat(fd, &st);
    std::vector<char> chunk(8 << 20);
    for (auto _ : state) {
        for (off_t pos = 0; pos < st.st_size;) {
            const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), pos);
            if (n <= 0)
                break;
            pos += n;
        }
        benchmark::DoNotOptimize(chunk.data());
    }
    ::close(fd);
    state.SetBytesProcessed(int64_t(state.iterations()) * st.st_size);
}
BENCHMARK(BM_PreadBaseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void reportOpenMemory()
{
    const long before = residentKiB();
    FileBuffer buffer;
    if (!BufferFile::load(sparseFile(), buffer).isEmpty())
        std::abort();
    uint8_t page[1600];
    for (int i = 0; i < 200; ++i)
        buffer.read((buffer.size() - 1600) / 200 * i, 1600, page);
    const long after = residentKiB();
    std::printf("Resident memory around opening %lld GiB and reading 200 pages: before %ld KiB, "
                "after %ld KiB, growth %ld KiB\n",
                (long long)(buffer.size() >> 30), before, after, after - before);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    findFile();
    reportOpenMemory();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
