// Saving changes to a large file beside their baselines, in one run:
// - in place: saveChangedPages with 1,000 scattered one-byte changes, journal
//   included, against a plain pwrite() of the same 1,000 bytes and fsync();
// - as a copy: saveCopyWithChanges of the whole file (with the same changes)
//   to a new name in the same folder, against `cp` of the file, and against
//   `cp` followed by an fsync() of the copy (the save flushes its copy, cp
//   does not).
// VELTRANO_BENCH_MB sets the file size (4096 by default); the folder needs
// three times that much free space.
#include "benchsize.h"
#include "pagesave.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

int64_t benchSize()
{
    return benchBytes(4096);
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/veltrano-bench-XXXXXX"));
    return dir;
}

const QString &sourceFile()
{
    static QString path = [] {
        const QString p = folder().filePath(QStringLiteral("source.bin"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        if (!writeNoise(f, benchSize()))
            std::abort();
        return p;
    }();
    return path;
}

QString copyPath()
{
    return folder().filePath(QStringLiteral("copy.bin"));
}

// 1,000 one-byte changes spread over the whole file, new ones each round.
ByteChanges scatteredChanges(uint32_t round)
{
    std::mt19937_64 random(round);
    std::uniform_int_distribution<int64_t> position(0, benchSize() - 1);
    ByteChanges changes;
    for (int i = 0; i < 1000; ++i)
        changes.push_back({position(random), QByteArray(1, char(random()))});
    return changes;
}

void BM_SaveInPlace(benchmark::State &state)
{
    const QString path = sourceFile();
    uint32_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ByteChanges changes = scatteredChanges(++round);
        const FileIdentity id = *FileIdentity::of(path);
        state.ResumeTiming();
        if (const QString why = saveChangedPages(path, id, changes); !why.isEmpty())
            benchFailed(state, qPrintable(why));
    }
}

void BM_PlainPwriteFsync(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(sourceFile());
    uint32_t round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const ByteChanges changes = scatteredChanges(++round);
        state.ResumeTiming();
        const int fd = ::open(path.constData(), O_RDWR);
        for (const auto &[offset, bytes] : changes)
            if (::pwrite(fd, bytes.constData(), 1, offset) != 1)
                benchFailed(state, "pwrite failed");
        ::fsync(fd);
        ::close(fd);
    }
}

void removeCopy()
{
    QFile::remove(copyPath());
    ::sync();
}

void BM_SaveAs(benchmark::State &state)
{
    const QString path = sourceFile();
    const ByteChanges changes = scatteredChanges(0);
    for (auto _ : state) {
        if (const QString why = saveCopyWithChanges(path, *FileIdentity::of(path), copyPath(), changes);
            !why.isEmpty())
            benchFailed(state, qPrintable(why));
        state.PauseTiming();
        removeCopy();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

void runCp(benchmark::State &state)
{
    const QByteArray from = QFile::encodeName(sourceFile());
    const QByteArray to = QFile::encodeName(copyPath());
    char *argv[] = {const_cast<char *>("cp"), const_cast<char *>(from.constData()),
                    const_cast<char *>(to.constData()), nullptr};
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid
        || status != 0)
        benchFailed(state, "cp failed");
}

void BM_Cp(benchmark::State &state)
{
    for (auto _ : state) {
        runCp(state);
        state.PauseTiming();
        removeCopy();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

void BM_CpThenFsync(benchmark::State &state)
{
    for (auto _ : state) {
        runCp(state);
        const int fd = ::open(QFile::encodeName(copyPath()).constData(), O_RDONLY);
        if (fd < 0 || ::fsync(fd) != 0)
            benchFailed(state, "fsync failed");
        ::close(fd);
        state.PauseTiming();
        removeCopy();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * benchSize());
}

BENCHMARK(BM_PlainPwriteFsync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5);
BENCHMARK(BM_SaveInPlace)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5);
BENCHMARK(BM_Cp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_CpThenFsync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_SaveAs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

} // namespace

int main(int argc, char **argv)
{
    // The file is made and flushed before any timing starts, so that no
    // benchmark pays for writing it out.
    sourceFile();
    ::sync();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
