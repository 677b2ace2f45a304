// The scroll bar's Value against the 64-bit view start: exact while the file
// fits the bar, else in proportion with both ends reached, steps of one row
// or one page in bytes, and never a view outside the file.
#include "viewmapping.h"

#include <QtTest>

class tst_ViewMapping : public QObject
{
    Q_OBJECT
private slots:
    void mapping_data();
    void mapping();
};

void tst_ViewMapping::mapping_data()
{
    QTest::addColumn<int64_t>("lastView");
    QTest::newRow("one page and a byte") << int64_t(1600);
    QTest::newRow("largest exact: 2^31 - 2") << int64_t(ViewMapping::kBarMax);
    QTest::newRow("one more than the bar counts") << int64_t(ViewMapping::kBarMax) + 1;
    QTest::newRow("3 GiB") << (int64_t(3) << 30) - 1;
    QTest::newRow("300 GiB") << (int64_t(300) << 30) - 1;
    QTest::newRow("largest file") << std::numeric_limits<int64_t>::max() - 1;
}

void tst_ViewMapping::mapping()
{
    QFETCH(int64_t, lastView);
    ViewMapping m;
    m.setLastView(lastView);
    const bool exact = lastView <= ViewMapping::kBarMax;
    QCOMPARE(m.isExact(), exact);
    QCOMPARE(int64_t(m.barMax()), std::min<int64_t>(lastView, ViewMapping::kBarMax));

    // The thumb's ends are the first and the last page.
    QCOMPARE(m.viewFor(0), int64_t(0));
    QCOMPARE(m.viewFor(m.barMax()), lastView);
    QCOMPARE(m.valueFor(0), 0);
    QCOMPARE(m.valueFor(lastView), m.barMax());

    // Monotonic both ways; a view maps to a value whose view does not pass it.
    int64_t previous = -1;
    for (int i = 0; i <= 64; ++i) {
        const int32_t value = int32_t(int64_t(m.barMax()) * i / 64);
        const int64_t view = m.viewFor(value);
        QVERIFY(view >= previous && view <= lastView);
        previous = view;
        QVERIFY(m.viewFor(m.valueFor(view)) <= view);
        QCOMPARE(m.valueFor(m.viewFor(value)), exact ? value : m.valueFor(m.viewFor(value)));
        if (exact)
            QCOMPARE(view, int64_t(value));
        const int64_t probe = lastView / 64 * i;
        QVERIFY(m.valueFor(probe) <= m.valueFor(std::min(lastView, probe + 1)));
    }
    if (!exact)
        QVERIFY(m.valueFor(lastView - 1) < m.barMax());

    // Steps of one row or one page move that many bytes, clamped to the file;
    // any other change (a drag) goes where the thumb is.
    const int32_t mid = m.barMax() / 2;
    const int64_t view = m.viewFor(mid);
    QCOMPARE(m.follow(mid, mid + 80, view, 80, 1599), exact ? int64_t(mid + 80) : view + 80);
    QCOMPARE(m.follow(mid, mid - 1599, view, 80, 1599), exact ? int64_t(mid - 1599) : view - 1599);
    QCOMPARE(m.follow(mid, mid + 1000, view, 80, 1599), m.viewFor(mid + 1000));
    QCOMPARE(m.follow(m.barMax() - 80, m.barMax(), lastView - 5, 80, 1599),
             exact ? int64_t(m.barMax()) : lastView);
    QCOMPARE(m.follow(80, 0, 3, 80, 1599), int64_t(0));
}

QTEST_GUILESS_MAIN(tst_ViewMapping)
#include "tst_viewmapping.moc"
