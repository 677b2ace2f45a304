// The byte search on a 1 GiB buffer of random bytes, for patterns of 1, 4, 8
// and 16 bytes that do not occur: glibc's memchr/memmem as the baseline
// beside our search, exact and folded. Before the runs it also checks that a
// whole Find over the buffer does not raise the process's peak memory.
// Rates are per CPU second: the machine is shared, and wall time counts
// the time other processes hold the cores.
#include "benchsize.h"
#include "bytesearch.h"
#include "findhost.h"
#include "findstep.h"
#include "mainmods.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const int64_t kBufferSize = benchBytes();

// Every pattern starts with Q, and neither Q nor q is left in the buffer,
// so no pattern is found, folded or not.
const char *patternOfLength(int64_t len)
{
    static const char kPattern[] = "Qk3xH9paZ2m7Tb4e";
    return len <= 16 ? kPattern : nullptr;
}

// The noise is written to a file and loaded, as a user's file would be.
const DocumentFile &buffer()
{
    static const bool ready = [] {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("noise.bin")));
        return dir.isValid() && file.open(QIODevice::WriteOnly) && writeNoise(file, kBufferSize, 'q')
            && file.flush() && MainMods::ByteBuffer.load(file.fileName()).failure.isEmpty();
    }();
    if (!ready) {
        std::fprintf(stderr, "cannot make the noise file\n");
        std::exit(1);
    }
    return MainMods::ByteBuffer;
}

void BM_Baseline(benchmark::State &state)
{
    const DocumentFile &b = buffer();
    const auto len = size_t(state.range(0));
    const char *pattern = patternOfLength(int64_t(len));
    for (auto _ : state) {
        const void *hit = len == 1 ? std::memchr(b.span(), pattern[0], size_t(b.size()))
                                   : memmem(b.span(), size_t(b.size()), pattern, len);
        benchmark::DoNotOptimize(hit);
        if (hit)
            benchFailed(state, "pattern found");
    }
    state.SetLabel(len == 1 ? "memchr" : "memmem");
    state.SetBytesProcessed(int64_t(state.iterations()) * b.size());
}

void runFind(benchmark::State &state, bool caseMatch)
{
    const DocumentFile &b = buffer();
    const auto len = size_t(state.range(0));
    const auto *pattern = reinterpret_cast<const uint8_t *>(patternOfLength(int64_t(len)));
    for (auto _ : state) {
        const int64_t at = findBytes(b.span(), size_t(b.size()), pattern, len, 0, caseMatch);
        benchmark::DoNotOptimize(at);
        if (at >= 0)
            benchFailed(state, "pattern found");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * b.size());
}

void BM_FindExact(benchmark::State &state) { runFind(state, true); }
void BM_FindFolded(benchmark::State &state) { runFind(state, false); }

void configure(benchmark::internal::Benchmark *b)
{
    b->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->Repetitions(5)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Baseline)->Apply(configure);
BENCHMARK(BM_FindExact)->Apply(configure);
BENCHMARK(BM_FindFolded)->Apply(configure);

long peakKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class NullHost : public FindHost
{
public:
    int64_t viewStart() const override { return m_value; }
    void setViewStart(int64_t value) override { m_value = value; }
    void setCellBackColor(int, uint32_t) override {}
    void showReadout(const QString &) override {}
    void findEnded(int64_t) override {}

private:
    int64_t m_value = 0;
};

// The whole Find step, as the dialog runs it on a buffer held in memory,
// beside the bare search above (BM_FindExact/8, BM_FindFolded/8): the
// buffer interface must cost nothing measurable.
void BM_FindStep(benchmark::State &state)
{
    buffer();
    const bool caseMatch = state.range(0) != 0;
    const QByteArray pattern(patternOfLength(8), 8);
    NullHost host;
    for (auto _ : state) {
        MainMods::LastFindText.clear();
        if (FindStep::run(host, pattern, caseMatch))
            benchFailed(state, "pattern found");
    }
    state.SetLabel(caseMatch ? "exact, 8 bytes" : "any case, 8 bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * MainMods::ByteBuffer.size());
}
BENCHMARK(BM_FindStep)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A full Find (folded, pattern absent) must not hold more memory at its
// peak than the buffer itself does.
void reportFindPeakMemory()
{
    buffer();
    const long before = peakKiB();
    NullHost host;
    FindStep::run(host, QByteArray(patternOfLength(16), 16), false);
    FindStep::run(host, QByteArray(patternOfLength(16), 16), true);
    const long after = peakKiB();
    std::printf("Peak memory (VmHWM) around two Finds over 1 GiB: before %ld KiB, after %ld KiB, "
                "growth %ld KiB\n",
                before, after, after - before);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    reportFindPeakMemory();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
