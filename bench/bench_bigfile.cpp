// Files read on demand, each case beside its baseline in one run (the
// repetitions interleaved in random order):
// - open a sparse file of VELTRANO_BENCH_SPARSE_GB GiB (64; 3 or more keeps
//   it on demand) through the document's load, against a bare open + fstat +
//   close of the same file;
//   the resident memory it adds, with 200 pages read all over it, is printed;
// - a page of the main window repainted anywhere in that file (cache warm),
//   against the same repaint of a 1 MiB buffer held in memory;
// - Find of an absent 8-byte pattern over a file of VELTRANO_BENCH_FIND_MB
//   MiB (4096) in the page cache, both case modes, against a plain loop of
//   8 MiB preads over the same file (wall-clock time).
#include "benchsize.h"
#include "chunksearch.h"
#include "documentfile.h"
#include "fileops.h"
#include "hexdisplay.h"
#include "mainmods.h"
#include "pagedfile.h"

#include <QFile>
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

const QString &sparseFile()
{
    static const QString path = [] {
        const QString p = benchPath(QStringLiteral("sparse.bin"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(benchSize("VELTRANO_BENCH_SPARSE_GB", 64, 30))) {
            std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(p), qPrintable(f.errorString()));
            std::exit(1);
        }
        return p;
    }();
    return path;
}

// Pseudo-random bytes with no 'Q' or 'q', so the pattern below never matches.
const QString &findFile()
{
    static const QString path =
        noiseFile(QStringLiteral("find.bin"), benchSize("VELTRANO_BENCH_FIND_MB", 4096, 20), 'Q');
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
        DocumentFile document;
        if (const DocumentFile::Opened opened = document.load(path); !opened.failure.isEmpty()) {
            benchFailed(state, qPrintable(opened.failure));
            break;
        }
    }
}
BENCHMARK(BM_OpenOnDemand)->Unit(benchmark::kMicrosecond);

void BM_OpenBaseline(benchmark::State &state)
{
    const QByteArray name = QFile::encodeName(sparseFile());
    for (auto _ : state) {
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        const bool done = fd >= 0 && ::fstat(fd, &st) == 0;
        benchmark::DoNotOptimize(st.st_size);
        if (fd >= 0)
            ::close(fd);
        if (!done) {
            benchFailed(state, "open or fstat failed");
            break;
        }
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
    if (const DocumentFile::Opened opened = MainMods::ByteBuffer.load(sparseFile()); !opened.failure.isEmpty()) {
        benchFailed(state, qPrintable(opened.failure));
        return;
    }
    window()->GoNow();
    cycleViews(state);
}
BENCHMARK(BM_RepaintOnDemand)->Unit(benchmark::kMicrosecond);

void BM_RepaintInMemoryBaseline(benchmark::State &state)
{
    if (!MainMods::ByteBuffer.allocate(1 << 20)) {
        benchFailed(state, "allocation failed");
        return;
    }
    window()->GoNow();
    cycleViews(state);
}
BENCHMARK(BM_RepaintInMemoryBaseline)->Unit(benchmark::kMicrosecond);

void BM_FindOnDemand(benchmark::State &state)
{
    QString why;
    std::unique_ptr<PagedFile> file = PagedFile::open(FileOps::system(), QFile::encodeName(findFile()), &why);
    if (!file) {
        benchFailed(state, qPrintable(why));
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
    const int fd = ::open(QFile::encodeName(findFile()).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        benchFailed(state, "open or fstat failed");
        return;
    }
    std::vector<char> chunk(8 << 20);
    for (auto _ : state) {
        off_t pos = 0;
        while (pos < st.st_size) {
            const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), pos);
            if (n <= 0)
                break;
            pos += n;
        }
        benchmark::DoNotOptimize(chunk.data());
        if (pos != st.st_size) {
            benchFailed(state, "pread failed");
            break;
        }
    }
    ::close(fd);
    state.SetBytesProcessed(int64_t(state.iterations()) * st.st_size);
}
BENCHMARK(BM_PreadBaseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void reportOpenMemory()
{
    const long before = residentKiB();
    DocumentFile buffer;
    if (!buffer.load(sparseFile()).failure.isEmpty()) {
        g_benchFailed = true;
        return;
    }
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
    if (!benchInitialize(argc, argv))
        return 1;
    findFile();
    reportOpenMemory();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
