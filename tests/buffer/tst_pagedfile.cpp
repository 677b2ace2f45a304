// The on-demand store on real files: bytes at 64-bit positions of a sparse
// 5 GiB file through both read paths, edits kept in the overlay and handed
// over in file order, and a file changed on disk while it is open.
#include "documentfile.h"
#include "fileops.h"
#include "pagedfile.h"
#include "sparsefile.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_PagedFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void markers_data();
    void markers();
    void changesInFileOrder();
    void changedOnDisk_data();
    void changedOnDisk();

private:
    QTemporaryDir m_dir;
    QString m_huge;
};

void tst_PagedFile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_huge = m_dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(m_huge, kHugeSize, hugeMarkers()));
}

void tst_PagedFile::markers_data()
{
    QTest::addColumn<int64_t>("pos");
    QTest::addColumn<int>("marker");
    for (const auto &[pos, value] : hugeMarkers())
        QTest::addRow("marker at %lld", (long long)pos) << pos << int(value);
}

void tst_PagedFile::markers()
{
    QFETCH(int64_t, pos);
    QFETCH(int, marker);
    DocumentFile buffer;
    const DocumentFile::Opened opened = buffer.load(m_huge);
    QVERIFY2(opened.failure.isEmpty(), qPrintable(opened.failure));
    QCOMPARE(buffer.size(), kHugeSize);
    QVERIFY(!buffer.span());

    // A few bytes around the marker through the page cache.
    const int64_t from = std::clamp<int64_t>(pos - 8, 0, kHugeSize - 17);
    uint8_t around[17];
    QVERIFY(buffer.read(from, 17, around));
    for (int i = 0; i < 17; ++i) {
        int expected = 0;
        for (const auto &[at, value] : hugeMarkers())
            expected = at == from + i ? value : expected;
        QCOMPARE(int(around[i]), expected);
    }
    QVERIFY(!buffer.read(kHugeSize - 1, 2, around)); // past the end

    // An edit is seen by both read paths, and by nothing on disk.
    buffer[pos] = uint8_t(~marker);
    QCOMPARE(int(buffer.byte(pos)), (~marker) & 0xFF);
    const int64_t bigFrom = std::clamp<int64_t>(pos - (1 << 20), 0, kHugeSize - (2 << 20));
    std::vector<uint8_t> big(2 << 20);
    QVERIFY(buffer.read(bigFrom, int64_t(big.size()), big.data()));
    QCOMPARE(int(big[size_t(pos - bigFrom)]), (~marker) & 0xFF);

    QCOMPARE(buffer.changes(), (ByteChanges{{pos, QByteArray(1, char(~marker))}}));

    QString again;
    std::unique_ptr<PagedFile> fresh = PagedFile::open(FileOps::system(), QFile::encodeName(m_huge), &again);
    QVERIFY(fresh);
    QCOMPARE(int(fresh->byte(pos)), marker);
    QCOMPARE(buffer.fault(), ByteSource::Fault::None);
}

// What a save writes: the changed bytes in file order, neighbours joined,
// and nothing for a byte written with its own value (as a click does).
void tst_PagedFile::changesInFileOrder()
{
    DocumentFile doc;
    QVERIFY(doc.load(m_huge).failure.isEmpty());
    const Markers markers = hugeMarkers();
    for (const auto &[pos, value] : markers)
        QVERIFY(doc.write(pos, value)); // its own value: no change
    QVERIFY(!doc.isChanged());
    for (auto it = markers.rbegin(); it != markers.rend(); ++it) {
        QVERIFY(doc.write(it->first, 0xEE));
        QVERIFY(doc.write(it->first, 0xEF));
    }
    QVERIFY(doc.write(markers[0].first + 1, 0x11)); // joins the first
    ByteChanges expected;
    for (const auto &[pos, value] : markers) {
        if (!expected.empty() && expected.back().first + expected.back().second.size() == pos)
            expected.back().second += char(0xEF); // 2^31 - 1 and 2^31 make one range
        else
            expected.emplace_back(pos, QByteArray(1, char(0xEF)));
    }
    expected[0].second += char(0x11);
    QCOMPARE(doc.changes(), expected);
}

void tst_PagedFile::changedOnDisk_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("seen");
    QTest::newRow("left alone") << "none" << false;
    QTest::newRow("cut short") << "shrink" << true;
    QTest::newRow("grown") << "grow" << true;
    QTest::newRow("replaced by another file") << "replace" << true;
    QTest::newRow("rewritten in place") << "rewrite" << true;
    QTest::newRow("rewritten, its modification time put back") << "rewrite, time kept" << true;
    QTest::newRow("deleted") << "delete" << true;
}

void tst_PagedFile::changedOnDisk()
{
    QFETCH(QString, change);
    QFETCH(bool, seen);
    const QString path = m_dir.filePath(QStringLiteral("changing.bin"));
    const int64_t size = 16 * PagedFile::kPageSize;
    QVERIFY(makeSparseFile(path, size, {{0, 1}, {PagedFile::kPageSize, 2}, {5 * PagedFile::kPageSize, 5}}));
    QString why;
    std::unique_ptr<PagedFile> file = PagedFile::open(FileOps::system(), QFile::encodeName(path), &why);
    QVERIFY(file);
    QCOMPARE(file->byte(0), uint8_t(1));                   // page 0 now in the cache
    QVERIFY(file->write(PagedFile::kPageSize + 1, 7)); // page 1 in the overlay

    if (change == "shrink" || change == "grow") {
        QVERIFY(QFile::resize(path, change == "shrink" ? 3 * PagedFile::kPageSize : 2 * size));
    } else if (change == "replace") {
        const QString other = m_dir.filePath(QStringLiteral("other.bin"));
        QVERIFY(makeSparseFile(other, size, {{5 * PagedFile::kPageSize, 9}}));
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
    } else if (change.startsWith("rewrite")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QDateTime before = f.fileTime(QFileDevice::FileModificationTime);
        QVERIFY(f.seek(5 * PagedFile::kPageSize) && f.putChar(9) && f.flush());
        QVERIFY(f.setFileTime(change == "rewrite" ? QDateTime::currentDateTime().addSecs(60) : before,
                              QFileDevice::FileModificationTime));
    } else if (change == "delete") {
        QVERIFY(QFile::remove(path));
    }

    uint8_t b = 0;
    const bool read = file->read(5 * PagedFile::kPageSize, 1, &b);
    QCOMPARE(read, !seen);
    if (read)
        QCOMPARE(b, uint8_t(5)); // never a byte of the new version
    QCOMPARE(file->fault(), seen ? ByteSource::Fault::ChangedOnDisk : ByteSource::Fault::None);
    // What is already in memory stays as shown.
    QCOMPARE(file->byte(0), uint8_t(1));
    QCOMPARE(file->byte(PagedFile::kPageSize + 1), uint8_t(7));
    QCOMPARE(file->byte(PagedFile::kPageSize), uint8_t(2));
    // Once seen, nothing more comes from the disk, even if the file comes back.
    std::vector<uint8_t> big(8 * PagedFile::kPageSize);
    QCOMPARE(file->read(8 * PagedFile::kPageSize, int64_t(big.size()), big.data()), !seen);
}

QTEST_GUILESS_MAIN(tst_PagedFile)
#include "tst_pagedfile.moc"
