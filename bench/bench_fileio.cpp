// Loading and saving through the document, each case beside its baseline in
// one run; the repetitions of all cases run interleaved in random order, and
// the medians are what to compare. The page cache is warm for case and
// baseline alike, and whatever a step leaves unflushed is written back before
// the next timed one.
//
// A file held in memory (VELTRANO_BENCH_MB, 1024 by default):
// - load, against read() of the file into a newly allocated buffer;
// - plain save after 3 one-byte edits spread over the file (patched in place
//   through the journal), against pwrite() of the 3 pages (4 KiB) around the
//   edits and one fsync(); each begins with nothing left to commit;
// - Save As to a new name (written beside it, flushed, renamed) and onto a
//   file with a second hard link (overwritten in place after its old data
//   went to the journal: twice the bytes), against write() of a new file and
//   fsync().
// A file read in pages (VELTRANO_BENCH_MB, 4096 by default; read in pages at
// any size):
// - plain save after 1,000 edits, against pwrite() of their 1,000 pages and
//   one fsync();
// - Save As to a new name (with 1,000 edits), against `cp`, and against `cp`
//   followed by an fsync() of the copy (the save flushes its copy, cp does not).
// Also prints the peak resident memory of a load into a document that already
// holds the file. The temporary folder needs twice the size of the file read
// in pages and four times that of the file held in memory; the journal of the
// save onto the hard-linked file, one more such size, goes to the user's state
// folder.
#include "benchsize.h"
#include "documentfile.h"
#include "fileops.h"

#include <QFile>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int64_t kSystemPage = 4096;

int64_t memorySize()
{
    return benchBytes();
}

int64_t pagedSize()
{
    return benchBytes(4096);
}

const QString &memoryFile()
{
    static const QString path = noiseFile(QStringLiteral("memory.bin"), memorySize());
    return path;
}

const QString &pagedFile()
{
    static const QString path = noiseFile(QStringLiteral("pages.bin"), pagedSize());
    return path;
}

// The document holding the file kept in memory, or the copy of it that a
// Save As made: the cases take turns with it, as it costs a load to make.
DocumentFile &memoryDocument()
{
    static DocumentFile document;
    if (document.size() != memorySize())
        document.load(memoryFile());
    return document;
}

DocumentFile &pagedDocument()
{
    static DocumentFile document(FileOps::system(), pagedSize() - 1);
    return document;
}

std::optional<FileIdentity> identityOf(const QString &path)
{
    FileStatus status;
    if (FileOps::system().stat(QFile::encodeName(path), status) < 0)
        return std::nullopt;
    return status.id;
}

// Makes `document` the file at `path` as it is on disk, without edits; a
// document that already is keeps what it read.
bool openUnchanged(DocumentFile &document, const QString &path)
{
    if (document.name() == path && !document.isChanged() && document.identity()
        && document.identity() == identityOf(path))
        return true;
    return document.load(path).failure.isEmpty();
}

// `count` places spread over `size` bytes, one in each of `count` equal
// stretches, new ones at every call.
std::vector<int64_t> editPlaces(int64_t size, int count)
{
    static std::mt19937_64 random(17);
    const int64_t stretch = size / count;
    std::vector<int64_t> places;
    for (int i = 0; i < count; ++i)
        places.push_back(i * stretch + int64_t(random() % uint64_t(stretch)));
    return places;
}

// Gives each of `count` bytes spread over the document a new value.
bool edit(DocumentFile &document, int count)
{
    for (const int64_t at : editPlaces(document.size(), count)) {
        if (!document.write(at, uint8_t(~document.byte(at))))
            return false;
    }
    return true;
}

// Removes what a step wrote and flushes the rest, so that neither the
// writeback nor the freeing of its blocks runs under the next timed step.
void discard(const QString &path)
{
    QFile::remove(path);
    ::sync();
}

// Commits what the file system of `path` still holds from the last step (the
// removal of the last save's journal, say): back to back, each save would
// pay for the one before, which a user's saves, seconds apart, do not.
void settle(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

void loadDocument(benchmark::State &state)
{
    const QString path = memoryFile();
    for (auto _ : state) {
        DocumentFile document;
        if (const DocumentFile::Opened opened = document.load(path); !opened.failure.isEmpty()) {
            benchFailed(state, qPrintable(opened.failure));
            break;
        }
        benchmark::DoNotOptimize(document.span());
    }
    state.SetBytesProcessed(state.iterations() * memorySize());
}

void loadPlainRead(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(memoryFile());
    const int64_t size = memorySize();
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        char *buffer = static_cast<char *>(std::malloc(size_t(size)));
        int64_t done = 0;
        while (fd >= 0 && buffer && done < size) {
            const ssize_t n = ::read(fd, buffer + done, size_t(std::min<int64_t>(size - done, 1 << 30)));
            if (n <= 0)
                break;
            done += n;
        }
        if (fd >= 0)
            ::close(fd);
        benchmark::DoNotOptimize(buffer);
        std::free(buffer);
        if (done != size) {
            benchFailed(state, "read failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void plainSave(benchmark::State &state, DocumentFile &document, const QString &path, int edits)
{
    for (auto _ : state) {
        state.PauseTiming();
        const bool ready = openUnchanged(document, path) && edit(document, edits);
        settle(path);
        state.ResumeTiming();
        if (!ready) {
            benchFailed(state, "could not open and edit the file");
            break;
        }
        if (const QString why = document.save(path, false); !why.isEmpty()) {
            benchFailed(state, qPrintable(why));
            break;
        }
    }
}

// What a program that knows its changed pages does at the least: writes each
// once and flushes the file once.
void pwritePagesFsync(benchmark::State &state, const QString &path, int edits)
{
    const QByteArray name = QFile::encodeName(path);
    const std::optional<FileIdentity> file = identityOf(path);
    const int64_t size = file ? file->size : 0;
    std::vector<char> pages(size_t(edits * kSystemPage));
    const auto pageOf = [](int64_t at) { return at / kSystemPage * kSystemPage; };
    const auto lengthAt = [size](int64_t start) { return std::min(kSystemPage, size - start); };
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<int64_t> places = editPlaces(size, edits);
        bool done = size > 0;
        // The pages with one byte changed each, as the document would leave them.
        const int in = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        for (int i = 0; done && i < edits; ++i) {
            char *page = pages.data() + i * kSystemPage;
            const int64_t start = pageOf(places[i]);
            done = ::pread(in, page, size_t(lengthAt(start)), start) == lengthAt(start);
            page[places[i] - start] = char(~page[places[i] - start]);
        }
        if (in >= 0)
            ::close(in);
        settle(path);
        state.ResumeTiming();
        const int fd = done ? ::open(name.constData(), O_RDWR | O_CLOEXEC) : -1;
        for (int i = 0; fd >= 0 && done && i < edits; ++i) {
            const int64_t start = pageOf(places[i]);
            done = ::pwrite(fd, pages.data() + i * kSystemPage, size_t(lengthAt(start)), start) == lengthAt(start);
        }
        done = fd >= 0 && done && ::fsync(fd) == 0;
        if (fd >= 0 && ::close(fd) != 0)
            done = false;
        if (!done) {
            benchFailed(state, "pwrite or fsync failed");
            break;
        }
    }
}

void saveAsNew(benchmark::State &state, DocumentFile &document, int64_t size, const std::function<bool()> &prepare)
{
    const QString target = benchPath(QStringLiteral("saved-as.bin"));
    for (auto _ : state) {
        state.PauseTiming();
        // A document read in pages holds its last copy open until it loads
        // again; only then are the copy's blocks freed.
        const bool ready = prepare() && document.size() == size;
        discard(target);
        state.ResumeTiming();
        if (!ready) {
            benchFailed(state, "could not open the file");
            break;
        }
        if (const QString why = document.save(target, true); !why.isEmpty()) {
            benchFailed(state, qPrintable(why));
            break;
        }
    }
    discard(target);
    state.SetBytesProcessed(state.iterations() * size);
}

// Two files of the content held in memory, each with a second hard link, so
// that a Save As onto them writes in place. Made once.
const QString &linkedFile(int which)
{
    static const QString paths[2] = {benchPath(QStringLiteral("linked-a.bin")), benchPath(QStringLiteral("linked-b.bin"))};
    static const bool made = [] {
        for (const QString &path : paths) {
            if (!QFile::copy(memoryFile(), path)
                || ::link(QFile::encodeName(path).constData(), QFile::encodeName(path + QStringLiteral(".2")).constData()) != 0)
                return false;
        }
        ::sync();
        return true;
    }();
    static const QString none;
    return made ? paths[which] : none;
}

void saveAsLinked(benchmark::State &state)
{
    DocumentFile &document = memoryDocument();
    for (auto _ : state) {
        state.PauseTiming();
        // The document becomes the file it saved; the other one is next, so
        // that every save writes a file the document does not hold.
        const QString &target = linkedFile(document.name() == linkedFile(0) ? 1 : 0);
        const bool ready = !target.isEmpty() && document.size() == memorySize();
        state.ResumeTiming();
        if (!ready) {
            benchFailed(state, "could not set up the hard-linked files");
            break;
        }
        if (const QString why = document.save(target, true); !why.isEmpty()) {
            benchFailed(state, qPrintable(why));
            break;
        }
        state.PauseTiming();
        FileStatus status;
        const bool inPlace = FileOps::system().stat(QFile::encodeName(target), status) == 0 && status.links == 2;
        ::sync();
        state.ResumeTiming();
        if (!inPlace) {
            benchFailed(state, "the save broke the hard link");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * memorySize());
}

void saveAsPlainWriteFsync(benchmark::State &state)
{
    const DocumentFile &document = memoryDocument();
    const QString target = benchPath(QStringLiteral("written.bin"));
    const QByteArray path = QFile::encodeName(target);
    for (auto _ : state) {
        state.PauseTiming();
        discard(target);
        state.ResumeTiming();
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int64_t done = 0;
        while (fd >= 0 && done < document.size()) {
            const ssize_t n =
                ::write(fd, document.span() + done, size_t(std::min<int64_t>(document.size() - done, 1 << 30)));
            if (n <= 0)
                break;
            done += n;
        }
        const bool written = fd >= 0 && done == document.size() && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!written || document.size() != memorySize()) {
            benchFailed(state, "write or fsync failed");
            break;
        }
    }
    discard(target);
    state.SetBytesProcessed(state.iterations() * memorySize());
}

bool runCp(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    char *argv[] = {const_cast<char *>("cp"), const_cast<char *>(source.constData()),
                    const_cast<char *>(target.constData()), nullptr};
    pid_t pid;
    int status = 0;
    return posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) == 0 && waitpid(pid, &status, 0) == pid
        && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void copyWithCp(benchmark::State &state, bool flush)
{
    const QString target = benchPath(QStringLiteral("copied.bin"));
    const QString source = pagedFile();
    for (auto _ : state) {
        state.PauseTiming();
        discard(target);
        state.ResumeTiming();
        bool done = runCp(source, target);
        if (done && flush) {
            const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC);
            done = fd >= 0 && ::fsync(fd) == 0;
            if (fd >= 0)
                ::close(fd);
        }
        if (!done) {
            benchFailed(state, flush ? "cp or fsync failed" : "cp failed");
            break;
        }
    }
    discard(target);
    state.SetBytesProcessed(state.iterations() * pagedSize());
}

void registerCases()
{
    using benchmark::RegisterBenchmark;
    const auto timed = [](benchmark::internal::Benchmark *b, int iterations) {
        b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(iterations);
    };
    timed(RegisterBenchmark("load/memory/document", loadDocument), 3);
    timed(RegisterBenchmark("load/memory/baseline:read", loadPlainRead), 3);

    timed(RegisterBenchmark("save/memory/3 edits/document",
                            [](benchmark::State &s) { plainSave(s, memoryDocument(), memoryFile(), 3); }),
          20);
    timed(RegisterBenchmark("save/memory/3 edits/baseline:pwrite+fsync",
                            [](benchmark::State &s) { pwritePagesFsync(s, memoryFile(), 3); }),
          20);
    timed(RegisterBenchmark("save/pages/1000 edits/document",
                            [](benchmark::State &s) { plainSave(s, pagedDocument(), pagedFile(), 1000); }),
          5);
    timed(RegisterBenchmark("save/pages/1000 edits/baseline:pwrite+fsync",
                            [](benchmark::State &s) { pwritePagesFsync(s, pagedFile(), 1000); }),
          5);

    timed(RegisterBenchmark("save as/memory/new file/document",
                            [](benchmark::State &s) {
                                saveAsNew(s, memoryDocument(), memorySize(), [] { return true; });
                            }),
          1);
    timed(RegisterBenchmark("save as/memory/hard-linked file/document", saveAsLinked), 1);
    timed(RegisterBenchmark("save as/memory/baseline:write+fsync", saveAsPlainWriteFsync), 1);
    timed(RegisterBenchmark("save as/pages/new file/document",
                            [](benchmark::State &s) {
                                DocumentFile &document = pagedDocument();
                                saveAsNew(s, document, pagedSize(), [&document] {
                                    return document.load(pagedFile()).failure.isEmpty() && edit(document, 1000);
                                });
                                // Lets go of the last copy, so that its blocks are freed now.
                                document.load(pagedFile());
                                ::sync();
                            }),
          1);
    timed(RegisterBenchmark("save as/pages/baseline:cp", [](benchmark::State &s) { copyWithCp(s, false); }), 1);
    timed(RegisterBenchmark("save as/pages/baseline:cp+fsync", [](benchmark::State &s) { copyWithCp(s, true); }), 1);
}

long peakKiB()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib = std::atol(line + 6);
    std::fclose(f);
    return kib;
}

void reportPeakMemory()
{
    // Peak while a document that holds the file loads it again: old + new
    // + a little.
    DocumentFile document;
    if (!document.load(memoryFile()).failure.isEmpty()) {
        g_benchFailed = true;
        return;
    }
    const long before = peakKiB();
    if (!document.load(memoryFile()).failure.isEmpty())
        g_benchFailed = true;
    const long after = peakKiB();
    std::printf("peak resident before second load: %ld MiB, after: %ld MiB (file %lld MiB)\n", before / 1024,
                after / 1024, static_cast<long long>(memorySize() >> 20));
}

} // namespace

int main(int argc, char **argv)
{
    // First, while nothing else has raised the process's peak.
    reportPeakMemory();
    registerCases();
    if (!benchInitialize(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return benchExitCode();
}
