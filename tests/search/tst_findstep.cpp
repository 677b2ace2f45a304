#include "findstep.h"
#include "mainmods.h"
#include "recordinghost.h"

#include <QTest>

class TestFindStep : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void findAgainVisitsEveryMatchThenWraps();
    void bringsMatchIntoView_data();
    void bringsMatchIntoView();
    void continuation_data();
    void continuation();
    void emptyNeedleAdvancesOneByte();
    void emptiedLastFindTextRestartsFromTheView();
    void caseMatchChangeDoesNotRestart();
    void emptyBufferFindsNothing();
};

void TestFindStep::init()
{
    MainMods::LastFindText.clear();
    FindState::FindPos = 0;
}

// The five letters ABCAB at the start of a long buffer, view at 0, text AB.
void TestFindStep::findAgainVisitsEveryMatchThenWraps()
{
    setBuffer(3000, '.', 0, "ABCAB");
    RecordingHost host;

    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(0));
    QCOMPARE(host.value, 0);
    QCOMPARE(host.redCells(), QList<int>({0, 1}));

    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(3));
    QCOMPARE(host.value, 3);
    QCOMPARE(host.redCells(), QList<int>({0, 1}));

    QCOMPARE(FindStep::run(host, "AB", true), std::nullopt);
    QCOMPARE(host.readouts, QStringList{FindStep::notFoundText()});
    QCOMPARE(host.value, 3); // the view and its red cells stay
    QCOMPARE(host.redCells(), QList<int>({0, 1}));
    QCOMPARE(host.viewsSet.size(), 2);

    // After the wrap the first match is found again, not passed over.
    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(0));
    QCOMPARE(host.value, 0);
    QCOMPARE(host.redCells(), QList<int>({0, 1}));
    QCOMPARE(MainMods::LastFindText, QByteArray("AB"));
    // Each Find told its outcome once, a miss included.
    QCOMPARE(host.findsEnded, (QList<int64_t>{0, 3, -1, 0}));
}

void TestFindStep::bringsMatchIntoView_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("matchIndex");
    QTest::addColumn<int>("matchLength");
    QTest::addColumn<int>("expectedView");
    QTest::addColumn<QList<int>>("expectedRed");

    QTest::newRow("position 25 keeps nine bytes before") << 5000 << 24 << 3 << 15 << cellRange(9, 3);
    QTest::newRow("position 10 starts the view") << 5000 << 9 << 3 << 9 << cellRange(0, 3);
    QTest::newRow("position 11 is the first with a lead-in") << 5000 << 10 << 2 << 1 << cellRange(9, 2);
    QTest::newRow("position 1") << 5000 << 0 << 4 << 0 << cellRange(0, 4);
    QTest::newRow("match in the last bytes") << 5000 << 4997 << 3 << 4988 << cellRange(9, 3);
    QTest::newRow("match longer than the page") << 5000 << 100 << 1700 << 91 << cellRange(9, 1591);
    QTest::newRow("one-page buffer, the view stays at 0") << 1000 << 500 << 4 << 0 << cellRange(500, 4);
    QTest::newRow("one-page buffer, match at 5") << 1000 << 5 << 2 << 0 << cellRange(5, 2);
    QTest::newRow("full page, match in the last cell") << 1600 << 1598 << 2 << 0 << cellRange(1598, 2);
    QTest::newRow("1601 bytes, match at the end") << 1601 << 1599 << 2 << 1590 << cellRange(9, 2);
}

void TestFindStep::bringsMatchIntoView()
{
    QFETCH(int, bufferSize);
    QFETCH(int, matchIndex);
    QFETCH(int, matchLength);
    QFETCH(int, expectedView);
    QFETCH(QList<int>, expectedRed);

    QByteArray match(matchLength, 'x');
    match[0] = 'M';
    setBuffer(bufferSize, '.', matchIndex, match);
    RecordingHost host;
    QCOMPARE(FindStep::run(host, match, true), std::optional<int64_t>(matchIndex));
    QCOMPARE(host.value, expectedView);
    QCOMPARE(host.redCells(), expectedRed);
    // Each red cell shows a byte of the match.
    for (int cell : expectedRed) {
        const int index = host.value + cell;
        QVERIFY(index >= matchIndex && index < matchIndex + matchLength);
    }
    QCOMPARE(FindState::FindPos, matchIndex + 1);
}

void TestFindStep::continuation_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<QByteArray>("content"); // written at the end of the buffer
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<QList<int>>("expected"); // offsets from the content start; -1 is "Not found"

    QTest::newRow("match in the last two bytes") << 3000 << QByteArray("AB") << QByteArray("AB")
                                                 << QList<int>{0, -1, 0, -1};
    QTest::newRow("match in the last byte") << 3000 << QByteArray("Z") << QByteArray("Z")
                                            << QList<int>{0, -1, 0};
    QTest::newRow("overlapping matches") << 3000 << QByteArray("AAAA") << QByteArray("AA")
                                         << QList<int>{0, 1, 2, -1, 0};
    QTest::newRow("short buffer, match at the end") << 1000 << QByteArray("QQ") << QByteArray("Q")
                                                    << QList<int>{0, 1, -1, 0};
    QTest::newRow("zero bytes") << 3000 << QByteArray("\0x\0", 3) << QByteArray(1, '\0')
                                << QList<int>{0, 2, -1, 0};
}

void TestFindStep::continuation()
{
    QFETCH(int, bufferSize);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, needle);
    QFETCH(QList<int>, expected);

    const int at = bufferSize - int(content.size());
    setBuffer(bufferSize, '.', at, content);
    RecordingHost host;
    for (int i = 0; i < expected.size(); ++i) {
        const auto found = FindStep::run(host, needle, true);
        const std::optional<int64_t> want = expected[i] < 0 ? std::nullopt
                                                            : std::optional<int64_t>(at + expected[i]);
        QVERIFY2(found == want, qPrintable(QStringLiteral("Find %1").arg(i + 1)));
        if (found) {
            QCOMPARE(host.value + host.redCells().first(), *found);
        } else {
            QCOMPARE(host.readouts.last(), FindStep::notFoundText());
        }
    }
}

void TestFindStep::emptyNeedleAdvancesOneByte()
{
    setBuffer(3000, '.');
    RecordingHost host;
    host.value = 20;
    MainMods::LastFindText = "A"; // a different text before: start from the view
    QCOMPARE(FindStep::run(host, QByteArray(), true), std::optional<int64_t>(20));
    QCOMPARE(host.value, 11);
    QCOMPARE(FindStep::run(host, QByteArray(), true), std::optional<int64_t>(21));
    QCOMPARE(host.value, 12);
    QVERIFY(host.redCells().isEmpty());
    QVERIFY(host.readouts.isEmpty());
}

void TestFindStep::emptiedLastFindTextRestartsFromTheView()
{
    setBuffer(3000, '.', 0, "AB");
    MainMods::ByteBuffer[300] = 'A';
    MainMods::ByteBuffer[301] = 'B';
    MainMods::ByteBuffer[900] = 'A';
    MainMods::ByteBuffer[901] = 'B';
    RecordingHost host;
    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(0));

    // The same text continues from the match, wherever the view is.
    host.value = 500;
    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(300));

    // A mouse release on the scroll bar empties LastFindText: start from the view.
    host.value = 500;
    MainMods::LastFindText.clear();
    QCOMPARE(FindStep::run(host, "AB", true), std::optional<int64_t>(900));

    // A different text also starts from the view.
    host.value = 200;
    QCOMPARE(FindStep::run(host, "B", true), std::optional<int64_t>(301));
}

void TestFindStep::caseMatchChangeDoesNotRestart()
{
    setBuffer(3000, '.', 0, "ab..AB");
    RecordingHost host;
    QCOMPARE(FindStep::run(host, "ab", false), std::optional<int64_t>(0));
    QCOMPARE(FindStep::run(host, "ab", true), std::nullopt);
    QCOMPARE(FindStep::run(host, "ab", false), std::optional<int64_t>(0));
    QCOMPARE(FindStep::run(host, "ab", false), std::optional<int64_t>(4));
}

void TestFindStep::emptyBufferFindsNothing()
{
    QVERIFY(MainMods::ByteBuffer.allocate(0));
    RecordingHost host;
    QCOMPARE(FindStep::run(host, "A", false), std::nullopt);
    QCOMPARE(FindStep::run(host, QByteArray(), false), std::nullopt);
    QCOMPARE(host.readouts.size(), 2);
    QVERIFY(host.viewsSet.isEmpty());
}

QTEST_GUILESS_MAIN(TestFindStep)
#include "tst_findstep.moc"
