#include "ansi.h"
#include "bytesearch.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

Q_DECLARE_METATYPE(SearchKernel)

namespace {

using Bytes = std::vector<uint8_t>;

// Position by position, the way the search is defined.
int64_t naiveFind(const Bytes &hay, const Bytes &needle, size_t from, bool caseMatch)
{
    if (from > hay.size())
        return -1;
    for (size_t pos = from; pos + needle.size() <= hay.size(); ++pos) {
        size_t i = 0;
        for (; i < needle.size(); ++i) {
            const uint8_t h = hay[pos + i];
            const uint8_t n = needle[i];
            if (caseMatch ? h != n : Ansi::toUpper(h) != Ansi::toUpper(n))
                break;
        }
        if (i == needle.size())
            return int64_t(pos);
    }
    return -1;
}

Bytes bytesOf(const char *s)
{
    return Bytes(s, s + std::strlen(s));
}

void addKernelRows()
{
    QTest::addColumn<SearchKernel>("kernel");
    QTest::newRow("portable") << SearchKernel::Portable;
    QTest::newRow("sse2") << SearchKernel::Sse2;
    QTest::newRow("avx2") << SearchKernel::Avx2;
}

} // namespace

class TestByteSearch : public QObject
{
    Q_OBJECT

private slots:
    void fixedCases_data();
    void fixedCases();
    void randomAgainstReference_data() { addKernelRows(); }
    void randomAgainstReference();
    void foldOfEveryBytePair_data() { addKernelRows(); }
    void foldOfEveryBytePair();
    void everyOffsetAroundVectorWidth_data() { addKernelRows(); }
    void everyOffsetAroundVectorWidth();
    void defaultSearchUsesBestKernel();
};

void TestByteSearch::fixedCases_data()
{
    QTest::addColumn<QByteArray>("hay");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("caseMatch");
    QTest::addColumn<qint64>("expected");

    const QByteArray long100 = QByteArray(100, '.');
    QTest::newRow("match at the first byte") << QByteArray("ABCAB") << QByteArray("AB") << 0 << true << qint64(0);
    QTest::newRow("continue after the first match") << QByteArray("ABCAB") << QByteArray("AB") << 1 << true << qint64(3);
    QTest::newRow("nothing after the last match") << QByteArray("ABCAB") << QByteArray("AB") << 4 << true << qint64(-1);
    QTest::newRow("match in the last byte") << long100 + "Z" << QByteArray("Z") << 0 << true << qint64(100);
    QTest::newRow("long match ending at the last byte") << long100 + "XYZ" << QByteArray(".XYZ") << 0 << true << qint64(99);
    QTest::newRow("overlapping matches, second") << QByteArray("aaaa") << QByteArray("aa") << 1 << true << qint64(1);
    QTest::newRow("overlapping matches, third") << QByteArray("aaaa") << QByteArray("aa") << 2 << true << qint64(2);
    QTest::newRow("overlapping in a long run") << long100 + "ababab" << QByteArray("abab") << 101 << true << qint64(102);
    QTest::newRow("needle longer than hay") << QByteArray("AB") << QByteArray("ABC") << 0 << true << qint64(-1);
    QTest::newRow("from past the end") << QByteArray("AB") << QByteArray("B") << 3 << true << qint64(-1);
    QTest::newRow("empty needle at from") << QByteArray("AB") << QByteArray() << 1 << true << qint64(1);
    QTest::newRow("empty needle at the end") << QByteArray("AB") << QByteArray() << 2 << true << qint64(2);
    QTest::newRow("empty needle past the end") << QByteArray("AB") << QByteArray() << 3 << true << qint64(-1);
    QTest::newRow("empty hay") << QByteArray() << QByteArray("A") << 0 << false << qint64(-1);
    QTest::newRow("ab finds AB without case match") << long100 + "AB" << QByteArray("ab") << 0 << false << qint64(100);
    QTest::newRow("ab misses AB with case match") << long100 + "AB" << QByteArray("ab") << 0 << true << qint64(-1);
    QTest::newRow("s caron folds") << long100 + "\x8a" << QByteArray("\x9a") << 0 << false << qint64(100);
    QTest::newRow("y diaeresis folds") << long100 + "\xff\x9f" << QByteArray("\x9f\xff") << 0 << false << qint64(100);
    QTest::newRow("sharp s has no capital") << long100 + "\xdf" << QByteArray("\xff") << 0 << false << qint64(-1);
    QTest::newRow("zero bytes") << long100 + QByteArray("\0\0\1", 3) << QByteArray("\0\1", 2) << 0 << true << qint64(101);
    QTest::newRow("run of equal bytes then another") << QByteArray(70, 'A') + "B" << QByteArray("AAAB") << 0 << true << qint64(67);
    QTest::newRow("folded run of equal bytes") << QByteArray(70, 'a') + "b" << QByteArray("AAAB") << 0 << false << qint64(67);
}

void TestByteSearch::fixedCases()
{
    QFETCH(QByteArray, hay);
    QFETCH(QByteArray, needle);
    QFETCH(int, from);
    QFETCH(bool, caseMatch);
    QFETCH(qint64, expected);
    const auto *h = reinterpret_cast<const uint8_t *>(hay.constData());
    const auto *n = reinterpret_cast<const uint8_t *>(needle.constData());
    for (SearchKernel kernel : {SearchKernel::Portable, SearchKernel::Sse2, SearchKernel::Avx2}) {
        QCOMPARE(findBytesUsing(kernel, h, size_t(hay.size()), n, size_t(needle.size()),
                                size_t(from), caseMatch),
                 expected);
    }
}

void TestByteSearch::randomAgainstReference()
{
    QFETCH(SearchKernel, kernel);
    if (!isKernelAvailable(kernel))
        QSKIP("this CPU does not run the kernel");
    QRandomGenerator rng(20240611);
    // A small alphabet of case partners gives many candidates and folded matches.
    const uint8_t alphabet[] = {'a', 'A', 'b', 'B', 0x9A, 0x8A, 0xFF, 0x9F, 0x00, 0xE9, 0xC9};
    for (int round = 0; round < 4000; ++round) {
        const bool narrow = round % 2 == 0;
        Bytes hay(rng.bounded(300));
        for (auto &b : hay)
            b = narrow ? alphabet[rng.bounded(int(sizeof alphabet))] : uint8_t(rng.bounded(256));
        Bytes needle(1 + rng.bounded(64));
        if (!hay.empty() && rng.bounded(2) == 0 && needle.size() <= hay.size()) {
            const size_t at = rng.bounded(int(hay.size() - needle.size() + 1));
            std::copy(hay.begin() + at, hay.begin() + at + needle.size(), needle.begin());
            if (rng.bounded(2) == 0)
                for (auto &b : needle)
                    b = rng.bounded(2) ? Ansi::toUpper(b) : b;
        } else {
            for (auto &b : needle)
                b = narrow ? alphabet[rng.bounded(int(sizeof alphabet))] : uint8_t(rng.bounded(256));
            needle.resize(1 + rng.bounded(3)); // short enough to occur by chance
        }
        const size_t from = rng.bounded(int(hay.size() + 2));
        for (bool caseMatch : {true, false}) {
            const int64_t expected = naiveFind(hay, needle, from, caseMatch);
            const int64_t got = findBytesUsing(kernel, hay.data(), hay.size(), needle.data(),
                                               needle.size(), from, caseMatch);
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("round %1: hay %2 bytes, needle %3 bytes, from %4, "
                                                "caseMatch %5: got %6, expected %7")
                                     .arg(round).arg(hay.size()).arg(needle.size()).arg(from)
                                     .arg(caseMatch).arg(got).arg(expected)));
        }
    }
}

void TestByteSearch::foldOfEveryBytePair()
{
    QFETCH(SearchKernel, kernel);
    if (!isKernelAvailable(kernel))
        QSKIP("this CPU does not run the kernel");
    // The pair sits past two vector widths so the vector loop meets it.
    for (int y = 0; y < 256; ++y) {
        const uint8_t filler = y == 1 ? 2 : 1;
        for (int x = 0; x < 256; ++x) {
            Bytes hay(100, filler);
            hay[70] = hay[71] = uint8_t(x);
            const Bytes needle{uint8_t(y), uint8_t(y)};
            const bool same = Ansi::toUpper(uint8_t(x)) == Ansi::toUpper(uint8_t(y));
            const int64_t expected = same ? 70 : -1;
            QCOMPARE(findBytesUsing(kernel, hay.data(), hay.size(), needle.data(), 2, 0, false), expected);
            QCOMPARE(findBytesUsing(kernel, hay.data(), hay.size(), needle.data(), 1, 0, false), expected);
            QCOMPARE(findBytesUsing(kernel, hay.data(), hay.size(), needle.data(), 2, 0, true),
                     x == y ? 70 : -1);
        }
    }
}

void TestByteSearch::everyOffsetAroundVectorWidth()
{
    QFETCH(SearchKernel, kernel);
    if (!isKernelAvailable(kernel))
        QSKIP("this CPU does not run the kernel");
    // Every hay length up to four AVX2 widths, the match at every place, so the
    // unrolled loop, the single step and the byte-wise tail all meet it.
    for (size_t len : {1u, 2u, 3u, 7u, 16u, 33u}) {
        Bytes needle(len);
        for (size_t i = 0; i < len; ++i)
            needle[i] = uint8_t('a' + i % 26);
        for (size_t hayLen = len; hayLen <= 130; ++hayLen) {
            for (size_t at = 0; at + len <= hayLen; ++at) {
                Bytes hay(hayLen, '.');
                for (size_t i = 0; i < len; ++i)
                    hay[at + i] = uint8_t('A' + i % 26);
                QCOMPARE(findBytesUsing(kernel, hay.data(), hayLen, needle.data(), len, 0, false),
                         int64_t(at));
                QCOMPARE(findBytesUsing(kernel, hay.data(), hayLen, needle.data(), len, 0, true),
                         int64_t(-1));
                QCOMPARE(findBytesUsing(kernel, hay.data(), hayLen, needle.data(), len, at + 1, false),
                         int64_t(-1));
            }
        }
    }
}

void TestByteSearch::defaultSearchUsesBestKernel()
{
    QVERIFY(isKernelAvailable(bestKernel()));
    const Bytes hay = bytesOf("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxABCxx");
    const Bytes needle = bytesOf("abc");
    QCOMPARE(findBytes(hay.data(), hay.size(), needle.data(), needle.size(), 0, false), int64_t(66));
}

QTEST_GUILESS_MAIN(TestByteSearch)
#include "tst_bytesearch.moc"
