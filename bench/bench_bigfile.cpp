// Files read on demand, each case beside its baseline in one run (the
// repetitions interleaved in random order):
// - open a sparse file of VELTRANO_BENCH_SPARSE_GB GiB (64; 3 or more keeps
//   it on demand) through the document's load, against a bare open + fstat +
//   close of the same file;
//   the resident memory it adds, with 200 pages read all over it, is printed;
// - a page of the main window repainted anywhere in that file (cache warm),
//   against the same repaint of a 1 MiB buffer held in memory;
// - Find of an absent 8-byte pattern over a file of VELTRANO_BENCH_FIND_MB
//   MiB (4096) of noise in the page cache, both case modes, against a plain
//   loop of 2 MiB preads over the same file (wall-clock time);
// - the same Find with the page cache dropped before each run, from opening
//   the file to the result, against `grep -c -F -a` on the same file, also
//   on a dropped cache (needs root; skipped with the reason without);
// - on a private Xvfb, in a child process of the same run: a click on the
//   find dialog's Find button, sent through the X server, until the cells of
//   the match in the file's last 8 bytes are red on the screen, against the
//   same pread loop (needs Xvfb, and xcb with its XTest extension at build
//   time; skipped with the reason without).
#include "benchsize.h"
#include "cellgrid.h"
#include "chunksearch.h"
#include "documentfile.h"
#include "fileops.h"
#include "findbox.h"
#include "findstep.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "mainmods.h"
#include "pagedfile.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifdef VELTRANO_BENCH_XTEST
#include <xcb/xcb.h>
#include <xcb/xtest.h>
#endif

extern char **environ;

namespace {

// Neither pattern's first letter is in the noise, in either case: the first
// is nowhere in the file, the second only in its last 8 bytes.
constexpr char kAbsent[] = "QUICKFOX";
constexpr char kAtEnd[] = "QEOFMARK";
// Set in the child process that runs the end-to-end case: the parent's file.
constexpr char kFileVariable[] = "VELTRANO_BENCH_FIND_FILE";
constexpr char kEndToEnd[] = "BM_FindKeyToRedCells";

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

// Pseudo-random bytes with no 'Q' or 'q' but the marker at the very end.
const QString &findFile()
{
    static const QString path = [] {
        if (qEnvironmentVariableIsSet(kFileVariable))
            return qEnvironmentVariable(kFileVariable);
        const QString p = noiseFile(QStringLiteral("find.bin"), benchSize("VELTRANO_BENCH_FIND_MB", 4096, 20), 'Q');
        QFile f(p);
        if (!f.open(QIODevice::ReadWrite) || !f.seek(f.size() - 8) || f.write(kAtEnd, 8) != 8 || !f.flush()
            || ::fsync(f.handle()) != 0) {
            std::fprintf(stderr, "cannot mark %s: %s\n", qPrintable(p), qPrintable(f.errorString()));
            std::exit(1);
        }
        return p;
    }();
    return path;
}

const QByteArray &findFileName()
{
    static const QByteArray name = QFile::encodeName(findFile());
    return name;
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

// The share of the file's pages in the page cache, 0..1 (-1 when it cannot
// be told). The mapping is only asked, never touched.
double cachedShare(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    void *map = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident(size_t((st.st_size + page - 1) / page));
    double share = -1;
    if (::mincore(map, size_t(st.st_size), resident.data()) == 0)
        share = double(std::count_if(resident.begin(), resident.end(), [](unsigned char c) { return c & 1; }))
            / double(resident.size());
    ::munmap(map, size_t(st.st_size));
    return share;
}

// Reads the whole file with preads of chunk.size() bytes: the baseline, and
// the way the file is brought into the page cache. False on a failed read.
bool preadAll(int fd, int64_t size, std::vector<char> &chunk)
{
    int64_t pos = 0;
    while (pos < size) {
        const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), off_t(pos));
        if (n <= 0)
            break;
        pos += n;
    }
    benchmark::DoNotOptimize(chunk.data());
    return pos == size;
}

// Brings the whole file into the page cache unless it is there already, so
// that a warm case that follows a cold one is warm too.
bool cacheFindFile()
{
    if (cachedShare(findFileName()) >= 1.0)
        return true;
    const int fd = ::open(findFileName().constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    std::vector<char> chunk(2 << 20);
    const bool done = fd >= 0 && ::fstat(fd, &st) == 0 && preadAll(fd, st.st_size, chunk);
    if (fd >= 0)
        ::close(fd);
    return done;
}

// Takes the find file out of the page cache, and only it: the rest of the
// machine keeps its cache. "" when done, else why it cannot be.
std::string dropPageCache()
{
    const int fd = ::open(findFileName().constData(), O_RDONLY | O_CLOEXEC);
    const bool done = fd >= 0 && ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    if (fd >= 0)
        ::close(fd);
    return done ? std::string() : "skipped: the file's pages cannot be dropped from the cache";
}

// Drops the file's pages before a cold run and notes how much of it was
// still cached; false (and the run skipped with the reason) when it cannot.
bool startCold(benchmark::State &state, double *cached)
{
    if (const std::string why = dropPageCache(); !why.empty()) {
        state.SkipWithError(why.c_str());
        return false;
    }
    *cached = std::max(*cached, cachedShare(findFileName()));
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// The absent pattern searched for in the whole file; false (and the run
// failed) on any other outcome.
bool findAbsent(benchmark::State &state, const PagedFile &file, bool caseMatch)
{
    const ChunkSearch::Result r =
        ChunkSearch::find(file, reinterpret_cast<const uint8_t *>(kAbsent), 8, 0, caseMatch);
    if (r.status == ChunkSearch::Result::NotFound)
        return true;
    benchFailed(state, "unexpected result");
    return false;
}

void BM_FindOnDemand(benchmark::State &state)
{
    QString why;
    std::unique_ptr<PagedFile> file = PagedFile::open(FileOps::system(), findFileName(), &why);
    if (!file || !cacheFindFile()) {
        benchFailed(state, file ? "cannot read the file into the page cache" : qPrintable(why));
        return;
    }
    const bool caseMatch = state.range(0) != 0;
    for (auto _ : state)
        findAbsent(state, *file, caseMatch);
    state.SetBytesProcessed(int64_t(state.iterations()) * file->size());
    state.SetLabel(caseMatch ? "exact" : "any case");
}
BENCHMARK(BM_FindOnDemand)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PreadBaseline(benchmark::State &state)
{
    const int fd = ::open(findFileName().constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !cacheFindFile()) {
        benchFailed(state, "open, fstat or caching failed");
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<char> chunk(2 << 20);
    for (auto _ : state) {
        if (!preadAll(fd, st.st_size, chunk)) {
            benchFailed(state, "pread failed");
            break;
        }
    }
    ::close(fd);
    state.SetBytesProcessed(int64_t(state.iterations()) * st.st_size);
}
BENCHMARK(BM_PreadBaseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Each run starts on a dropped page cache; the share of the file that was
// still cached when the clock started is given as cached_at_start.
void BM_FindCold(benchmark::State &state)
{
    const bool caseMatch = state.range(0) != 0;
    double cached = 0;
    for (auto _ : state) {
        if (!startCold(state, &cached))
            return;
        const auto start = std::chrono::steady_clock::now();
        QString failure;
        std::unique_ptr<PagedFile> file = PagedFile::open(FileOps::system(), findFileName(), &failure);
        if (!file) {
            benchFailed(state, qPrintable(failure));
            return;
        }
        findAbsent(state, *file, caseMatch);
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["cached_at_start"] = cached;
    state.SetLabel(caseMatch ? "exact" : "any case");
}
BENCHMARK(BM_FindCold)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// Runs grep with `args` and returns what it wrote, or nothing when it could
// not be run or did not end as `status`; *seconds is the time from starting
// it to its exit.
std::optional<std::string> runGrep(std::vector<const char *> args, int status, double *seconds = nullptr)
{
    int out[2];
    if (::pipe(out) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), "grep");
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "grep", &actions, nullptr, const_cast<char **>(args.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, size_t(n));
    int ended = 0;
    const bool waited = spawned == 0 && ::waitpid(pid, &ended, 0) == pid;
    if (seconds)
        *seconds = secondsSince(start);
    ::close(out[0]);
    if (!waited || !WIFEXITED(ended) || WEXITSTATUS(ended) != status)
        return std::nullopt;
    return output;
}

// `grep -c -F -a` for the absent pattern, from starting grep to its exit.
// The file's pages are dropped, not grep's own: grep is started once before
// the clock, as the editor is running before its Find.
void BM_GrepColdBaseline(benchmark::State &state)
{
    double cached = 0;
    for (auto _ : state) {
        if (!startCold(state, &cached))
            return;
        double seconds = 0;
        // No line matches: grep counts 0 and exits with 1.
        const std::optional<std::string> counted =
            runGrep({"-V"}, 0) ? runGrep({"-c", "-F", "-a", kAbsent, findFileName().constData()}, 1, &seconds)
                               : std::nullopt;
        state.SetIterationTime(seconds);
        if (counted != "0\n") {
            benchFailed(state, "grep did not run or found the pattern");
            return;
        }
    }
    state.counters["cached_at_start"] = cached;
}
BENCHMARK(BM_GrepColdBaseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

#ifdef VELTRANO_BENCH_XTEST
// Our own connection to the X server: it moves the pointer and clicks
// through the XTest extension, as a real device would, and reads back what
// the screen shows.
class XInput
{
public:
    XInput()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(m_connection))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~XInput() { xcb_disconnect(m_connection); }
    XInput(const XInput &) = delete;
    XInput &operator=(const XInput &) = delete;

    bool isValid() const { return m_root != 0 && !xcb_connection_has_error(m_connection); }

    void moveTo(QPoint global)
    {
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(global.x()),
                            int16_t(global.y()), 0);
        sync();
    }

    void click()
    {
        xcb_test_fake_input(m_connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_test_fake_input(m_connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_flush(m_connection);
    }

    // Pixels of the screen's rectangle r (root coordinates) that show the
    // colour `rgb`; -1 when the screen cannot be read.
    int countColour(QRect r, QRgb rgb)
    {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), ~0u),
            nullptr);
        if (!reply)
            return -1;
        int count = -1;
        // 24-bit colour is kept in 32-bit pixels, blue first.
        if (reply->depth == 24 && xcb_get_image_data_length(reply) == r.width() * r.height() * 4) {
            count = 0;
            const uint8_t *p = xcb_get_image_data(reply);
            for (int i = 0; i < r.width() * r.height(); ++i, p += 4)
                count += p[0] == qBlue(rgb) && p[1] == qGreen(rgb) && p[2] == qRed(rgb);
        }
        std::free(reply);
        return count;
    }

private:
    void sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
};

// Tells when the grid was painted with a given cell red.
class RedPaintWatch : public QObject
{
public:
    RedPaintWatch(CellGrid *grid, int cell) : m_grid(grid), m_cell(cell) { grid->installEventFilter(this); }
    ~RedPaintWatch() override { m_grid->removeEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_grid && event->type() == QEvent::Paint && m_grid->backColor(m_cell) == FindStep::kMatchColor)
            painted = true;
        return false;
    }

private:
    CellGrid *m_grid;
    int m_cell;
};

// From the click on Find to the match's last cell red on the screen: the
// click goes through the X server to the dialog, the search runs as the
// user's would (its thread, its percentage readout), and the clock stops once
// the grid was painted with the cell red and the server shows it so.
void BM_FindKeyToRedCells(benchmark::State &state)
{
    XInput x;
    HexDisplay *w = window();
    if (!x.isValid() || QGuiApplication::platformName() != QLatin1String("xcb")) {
        benchFailed(state, "no X server to click through");
        return;
    }
    if (MainMods::ByteBuffer.name() != findFile() && !w->openNamedFile(findFile())) {
        benchFailed(state, "cannot open the file");
        return;
    }
    w->FindData_Click();
    FindBox *box = w->findBox();
    auto *text = box ? box->findChild<QLineEdit *>(QStringLiteral("Text1")) : nullptr;
    auto *match = box ? box->findChild<QCheckBox *>(QStringLiteral("Check1")) : nullptr;
    auto *find = box ? box->findChild<QPushButton *>(QStringLiteral("Command2")) : nullptr;
    if (!text || !match || !find) {
        benchFailed(state, "the find dialog lacks its controls");
        return;
    }
    // Below the main window, so that the dialog covers none of the grid.
    box->move(w->frameGeometry().bottomLeft() + QPoint(0, 40));
    (void)QTest::qWaitForWindowExposed(box);
    const bool caseMatch = state.range(0) != 0;
    text->setText(QString::fromLatin1(kAtEnd));
    match->setChecked(caseMatch);

    const int64_t at = MainMods::ByteBuffer.size() - 8;
    const int64_t view = FindStep::viewStartFor(at);
    const int lastCell = int(at + 7 - view);
    const QRect onScreen(w->ShowLab()->mapToGlobal(GridGeometry::cellRect(lastCell).topLeft()),
                         GridGeometry::cellRect(lastCell).size());
    const QRgb red = qRgb(0xFF, 0, 0);
    for (auto _ : state) {
        // The next Find starts from the view, at the first byte.
        MainMods::LastFindText.clear();
        w->setViewStart(0);
        if (!cacheFindFile()) {
            benchFailed(state, "cannot read the file into the page cache");
            return;
        }
        x.moveTo(find->mapToGlobal(find->rect().center()));
        QTest::qWait(50); // the button's hover and every repaint before the click are over
        if (x.countColour(onScreen, red) != 0) {
            benchFailed(state, "the cell is red before the click");
            return;
        }
        RedPaintWatch watch(w->ShowLab(), lastCell);
        // Wakes the wait below now and then, should nothing else come.
        QTimer tick;
        tick.start(200);
        const auto start = std::chrono::steady_clock::now();
        x.click();
        // Sleeps between events while the search runs, so that the search
        // has the cores; then asks the server until the screen shows the red.
        while (!watch.painted && secondsSince(start) < 120)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (x.countColour(onScreen, red) <= 0 && secondsSince(start) < 120)
            QCoreApplication::processEvents();
        state.SetIterationTime(secondsSince(start));
        if (w->viewStart() != view || x.countColour(onScreen, red) <= 0) {
            benchFailed(state, "the match was not shown");
            return;
        }
    }
    state.SetLabel(caseMatch ? "exact" : "any case");
}

// Runs the end-to-end case in a child on a private Xvfb, with the same
// options and beside the same pread loop. False when the child failed.
bool runOnXvfb(const QStringList &options)
{
    XvfbServer server;
    QString why;
    if (!server.start(&why, QStringLiteral("1280x1024x24"))) {
        std::printf("%s skipped: %s\n", kEndToEnd, qPrintable(why));
        return true;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QString::fromLatin1(kFileVariable), findFile());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList(options) << QStringLiteral("--benchmark_filter=%1|BM_PreadBaseline").arg(kEndToEnd));
    return child.waitForFinished(-1) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}
#else
bool runOnXvfb(const QStringList &)
{
    std::printf("%s skipped: built without xcb and its XTest extension\n", kEndToEnd);
    return true;
}
#endif

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
    const bool child = qEnvironmentVariableIsSet(kFileVariable);
    QApplication app(argc, argv);
    // The options as given, for the child; the end-to-end case runs there
    // unless a filter given leaves it out.
    QStringList options;
    bool endToEnd = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--benchmark_filter=", 0) == 0) {
            try {
                endToEnd = std::regex_search(kEndToEnd, std::regex(arg.substr(19)));
            } catch (const std::regex_error &) {
                endToEnd = false; // the library reports the filter
            }
        } else {
            options << QString::fromLocal8Bit(argv[i]);
        }
    }
#ifdef VELTRANO_BENCH_XTEST
    if (child)
        benchmark::RegisterBenchmark(kEndToEnd, BM_FindKeyToRedCells)
            ->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
#endif
    if (!benchInitialize(argc, argv))
        return 1;
    findFile();
    if (!child)
        reportOpenMemory();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!child && endToEnd && !runOnXvfb(options))
        return 1;
    return benchExitCode();
}
