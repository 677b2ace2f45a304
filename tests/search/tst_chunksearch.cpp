// The search of a file read on demand: chunked results must equal a search
// of the whole file in memory, for matches across every chunk boundary, in
// both case modes, with unsaved edits that make and break matches; and the
// search beside the window reports once, or not at all when stopped.
#include "backgroundfind.h"
#include "bytesearch.h"
#include "chunksearch.h"
#include "fileops.h"
#include "pagedfile.h"
#include "sparsefile.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every match from `from` on, one search per match, as repeated Finds go.
QList<int64_t> allMatches(const std::function<int64_t(int64_t)> &next)
{
    QList<int64_t> found;
    for (int64_t at = next(0); at >= 0; at = next(at + 1))
        found.append(at);
    return found;
}

} // namespace

class tst_ChunkSearch : public QObject
{
    Q_OBJECT
private slots:
    void matchesAcrossEveryBoundary_data();
    void matchesAcrossEveryBoundary();
    void readFailureEndsTheSearchThere_data();
    void readFailureEndsTheSearchThere();
    void backgroundReportsOnceOrNotAtAll();

private:
    QTemporaryDir m_dir;
};

void tst_ChunkSearch::matchesAcrossEveryBoundary_data()
{
    QTest::addColumn<int64_t>("chunk");
    QTest::addColumn<int>("needleLength");
    QTest::addColumn<bool>("caseMatch");
    QTest::addColumn<int>("threads");
    for (bool caseMatch : {true, false}) {
        const char *mode = caseMatch ? "exact" : "any case";
        QTest::addRow("chunk 7, needle 3, %s", mode) << int64_t(7) << 3 << caseMatch << 3;
        QTest::addRow("chunk 7, needle 3, %s, one thread", mode) << int64_t(7) << 3 << caseMatch << 1;
        QTest::addRow("chunk 64, needle 8, %s", mode) << int64_t(64) << 8 << caseMatch << 3;
        QTest::addRow("chunk 5, needle 5, %s", mode) << int64_t(5) << 5 << caseMatch << 3;
        QTest::addRow("chunk 2, needle 2, %s", mode) << int64_t(2) << 2 << caseMatch << 3;
        QTest::addRow("chunk 3, needle 1, %s", mode) << int64_t(3) << 1 << caseMatch << 3;
        // Chunks this long bypass the page cache and are patched from the overlay.
        QTest::addRow("chunk 300 KiB, needle 8, %s", mode) << int64_t(300 << 10) << 8 << caseMatch << 2;
    }
}

void tst_ChunkSearch::matchesAcrossEveryBoundary()
{
    QFETCH(int64_t, chunk);
    QFETCH(int, needleLength);
    QFETCH(bool, caseMatch);
    QFETCH(int, threads);
    const QByteArray needle = QByteArray("AbCdEfGhIj").left(needleLength);
    const QByteArray other = caseMatch ? needle : needle.toLower();

    // Filler that holds no letter, with the needle (in the other case when
    // case does not count) placed across boundary k at a split that cycles
    // through every one the needle allows, then again inside one chunk.
    const int boundaries = 40;
    const int64_t size = chunk * (boundaries + 2) + 11;
    QByteArray reference(size, '.');
    for (int64_t i = 0; i < size; i += 3)
        reference[qsizetype(i)] = char('0' + i % 10);
    for (int k = 1; k <= boundaries; k += 2) {
        const int64_t at = k * chunk - 1 - (k / 2) % needleLength;
        if (at >= 0 && at + needleLength <= size)
            reference.replace(at, needleLength, k % 4 == 1 ? needle : other);
    }
    const QString path = m_dir.filePath(QStringLiteral("chunks.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(reference) == size);
    f.close();
    QString why;
    std::unique_ptr<PagedFile> file = PagedFile::open(FileOps::system(), QFile::encodeName(path), &why);
    QVERIFY(file);

    // Unsaved edits: one breaks a match on disk, one makes a match that is
    // only in memory, across a boundary.
    const auto edit = [&](int64_t pos, char c) {
        QVERIFY(file->write(pos, uint8_t(c)));
        reference[qsizetype(pos)] = c;
    };
    edit(chunk - 1, '#'); // the first byte of the match across boundary 1
    const int64_t made = 6 * chunk - needleLength / 2;
    for (int i = 0; i < needleLength; ++i)
        edit(made + i, needle[i]);

    const auto *bytes = reinterpret_cast<const uint8_t *>(reference.constData());
    const auto *n = reinterpret_cast<const uint8_t *>(needle.constData());
    const QList<int64_t> expected = allMatches([&](int64_t from) {
        return findBytes(bytes, size_t(size), n, size_t(needleLength), size_t(from), caseMatch);
    });
    QVERIFY(expected.contains(made));
    QVERIFY(expected.size() > boundaries / 4);
    ChunkSearch::Options options;
    options.chunkSize = chunk;
    options.threads = threads;
    const QList<int64_t> chunked = allMatches([&](int64_t from) {
        const ChunkSearch::Result r = ChunkSearch::find(*file, n, needleLength, from, caseMatch, options);
        return r.status == ChunkSearch::Result::Found ? r.index : -1;
    });
    QCOMPARE(chunked, expected);
}

void tst_ChunkSearch::readFailureEndsTheSearchThere_data()
{
    QTest::addColumn<int64_t>("match");
    QTest::addColumn<int>("status");
    QTest::newRow("match before the unreadable chunk") << int64_t(1000) << int(ChunkSearch::Result::Found);
    QTest::newRow("match past it") << int64_t(9000) << int(ChunkSearch::Result::ReadFailed);
    QTest::newRow("no match") << int64_t(-1) << int(ChunkSearch::Result::ReadFailed);
}

// A store that cannot read one stretch: whatever order the threads finish
// in, a match before it is found and nothing past it is claimed.
void tst_ChunkSearch::readFailureEndsTheSearchThere()
{
    QFETCH(int64_t, match);
    QFETCH(int, status);
    class Unreadable final : public ByteSource
    {
    public:
        QByteArray bytes = QByteArray(10000, '.');
        int64_t size() const override { return bytes.size(); }
        bool read(int64_t pos, int64_t len, uint8_t *dst) const override
        {
            if (pos + len > 5000 && pos < 5100)
                return false;
            std::memcpy(dst, bytes.constData() + pos, size_t(len));
            return true;
        }
        bool write(int64_t, uint8_t) override { return false; }
        const uint8_t *span() const override { return nullptr; }
    } source;
    if (match >= 0)
        source.bytes.replace(qsizetype(match), 3, "abc");
    ChunkSearch::Options options;
    options.chunkSize = 64;
    options.threads = 3;
    const ChunkSearch::Result r = ChunkSearch::find(source, reinterpret_cast<const uint8_t *>("abc"), 3, 0, true, options);
    QCOMPARE(int(r.status), status);
    QCOMPARE(r.index, status == int(ChunkSearch::Result::Found) ? match : -1);
}

void tst_ChunkSearch::backgroundReportsOnceOrNotAtAll()
{
    const QString path = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(path, kHugeSize, hugeMarkers()));
    QString why;
    std::shared_ptr<PagedFile> file = PagedFile::open(FileOps::system(), QFile::encodeName(path), &why);
    QVERIFY(file);
    const QByteArray needle("\0\0E", 3); // the marker at 2^32, after two zeros

    BackgroundFind search;
    QSignalSpy finished(&search, &BackgroundFind::finished);
    QSignalSpy progressed(&search, &BackgroundFind::progressed);
    // Stopped at once: nothing is reported, however far it got.
    search.start(file, needle, 0, true, int64_t(1) << 20);
    search.stop();
    QVERIFY(!search.isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
    QCOMPARE(progressed.count(), 0);

    // From just before the marker: found, reported once, with progress first.
    const int64_t from = (int64_t(1) << 32) - (int64_t(8) << 20);
    search.start(file, needle, from, false, int64_t(1) << 20);
    QVERIFY(finished.wait(60000));
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished[0][0].toInt(), int(ChunkSearch::Result::Found));
    QCOMPARE(finished[0][1].toLongLong(), (int64_t(1) << 32) - 2);
    QVERIFY(progressed.count() >= 1);
    QVERIFY(!search.isRunning());
}

QTEST_GUILESS_MAIN(tst_ChunkSearch)
#include "tst_chunksearch.moc"
