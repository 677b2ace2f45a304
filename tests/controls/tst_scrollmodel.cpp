// The scroll bar's arithmetic, driven without a widget: shades, thumb length
// and placement, drag and tick steps, and the failures that must leave the
// control as it was.
#include "scrollmodel.h"

#include <QTest>
#include <climits>

namespace {

constexpr int kWidth = 25;
constexpr int kHeight = 299;

// The main window's scroll bar: 25 x 299 pixels, range 0..max.
ScrollModel makeModel(int32_t max = 30, int32_t large = 5, int32_t small = 1,
                      int height = kHeight)
{
    ScrollModel m;
    m.setSurfaceSize(kWidth, height);
    m.setValueMin(0);
    m.setValueMax(max);
    m.setValueLargeChange(large);
    m.setValueSmallChange(small);
    m.computeArrowColumn();
    m.computeShades(0xFFFFFF);
    m.computeThumbLength();
    m.setValue(0);
    return m;
}

// Ticks until the model skips or the timer stops, at most `limit` times.
int tickUntilQuiet(ScrollModel &m, int limit = 200)
{
    int steps = 0;
    while (steps < limit && m.isTimerEnabled()) {
        if (m.tick() != ScrollModel::TickResult::Stepped)
            break;
        m.finishTick();
        ++steps;
    }
    return steps;
}

} // namespace

class tst_ScrollModel : public QObject
{
    Q_OBJECT
private slots:
    void shades_data();
    void shades();
    void thumbLength_data();
    void thumbLength();
    void arrowColumn();
    void placement_data();
    void placement();
    void setterFailsWithoutMovingThumb_data();
    void setterFailsWithoutMovingThumb();
    void redrawWithoutRangeStillBoundsThumb();
    void pagingDownStopsPastPressPoint();
    void pagingUpApproachesAndRests();
    void pageDownTickSitsLowerThanSetter();
    void arrowBoxHeldAtLimit_data();
    void arrowBoxHeldAtLimit();
    void deadZoneAroundThumb_data();
    void deadZoneAroundThumb();
    void arrowKeyAtLimitMakesNoStep_data();
    void arrowKeyAtLimitMakesNoStep();
    void lineStepSwitchesToFastInterval();
    void tickFailureChangesNothing_data();
    void tickFailureChangesNothing();
    void drag_data();
    void drag();
    void dragWithoutSpanFails();
    void pressAndKeyTransitions();
};

void tst_ScrollModel::shades_data()
{
    QTest::addColumn<uint>("backColor");
    QTest::addColumn<int>("entry");
    QTest::addColumn<uint>("expected");

    QTest::newRow("white, entry 10 is 127") << 0xFFFFFFu << 10 << 0x7F7F7Fu;
    QTest::newRow("white, entry 11 is 140") << 0xFFFFFFu << 11 << 0x8C8C8Cu;
    QTest::newRow("white, entry 16 is 204") << 0xFFFFFFu << 16 << 0xCCCCCCu;
    QTest::newRow("white, entry 18 is 229") << 0xFFFFFFu << 18 << 0xE5E5E5u;
    QTest::newRow("white, entry 20 is 255") << 0xFFFFFFu << 20 << 0xFFFFFFu;
    QTest::newRow("white, entry 25 capped at 255") << 0xFFFFFFu << 25 << 0xFFFFFFu;
    QTest::newRow("window colour, entry 11") << 0xFFC0C0u << 11 << 0x8C6A6Au;
    QTest::newRow("window colour, entry 18") << 0xFFC0C0u << 18 << 0xE5ADADu;
    QTest::newRow("window colour, entry 20 is itself") << 0xFFC0C0u << 20 << 0xFFC0C0u;
    QTest::newRow("bit 24 set gives black") << 0x01FFFFFFu << 18 << 0u;
    QTest::newRow("system colour bytes taken as they are") << 0x80000005u << 20 << 0x05u;
}

void tst_ScrollModel::shades()
{
    QFETCH(uint, backColor);
    QFETCH(int, entry);
    QFETCH(uint, expected);
    QCOMPARE(ScrollModel::shadesFor(backColor)[entry - 1], uint32_t(expected));
}

void tst_ScrollModel::thumbLength_data()
{
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("large");
    QTest::addColumn<int>("expected");

    QTest::newRow("range 30, page 5") << 30 << 5 << 22;
    QTest::newRow("page over twice the range gives H - 100") << 30 << 200 << 199;
    QTest::newRow("page 1 of 100000 gives the minimum") << 100000 << 1 << 5;
    QTest::newRow("page 0 keeps the old length, then the minimum") << 30 << 0 << 5;
    QTest::newRow("no range keeps the old length, then the minimum") << 0 << 5 << 5;
}

void tst_ScrollModel::thumbLength()
{
    QFETCH(int, max);
    QFETCH(int, large);
    QFETCH(int, expected);
    const ScrollModel m = makeModel(max, large);
    QCOMPARE(int(m.thumbLength()), expected);
}

void tst_ScrollModel::arrowColumn()
{
    QCOMPARE(makeModel().arrowColumn(), 12); // 12.5 goes to the even neighbour
}

void tst_ScrollModel::placement_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expectedTop");
    QTest::addColumn<int>("expectedValue");

    // L = 22: the thumb travels from row 17 to row H - L - 22 = 255.
    QTest::newRow("ValueMin at row 17") << 0 << 17 << 0;
    QTest::newRow("ValueMax one row above the lowest") << 30 << kHeight - 22 - 23 << 30;
    QTest::newRow("above ValueMax is capped") << 31 << kHeight - 22 - 23 << 30;
    QTest::newRow("below ValueMin is kept, thumb at 17") << -4 << 17 << -4;
    QTest::newRow("half way, 127 rounds to even") << 15 << 127 << 15;
}

void tst_ScrollModel::placement()
{
    QFETCH(int, value);
    QFETCH(int, expectedTop);
    QFETCH(int, expectedValue);
    ScrollModel m = makeModel();
    QVERIFY(m.setValue(value));
    QCOMPARE(int(m.thumbTop()), expectedTop);
    QCOMPARE(m.value(), expectedValue);
}

void tst_ScrollModel::setterFailsWithoutMovingThumb_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("thumbLength");
    QTest::addColumn<int>("value");

    QTest::newRow("ValueMax equals ValueMin") << 10 << 10 << 22 << 10;
    QTest::newRow("thumb length past 16 bits") << 0 << 30 << 32750 << 5;
    QTest::newRow("row far below ValueMin past 16 bits") << 0 << 1 << 22 << -1000000;
    QTest::newRow("range past 32 bits") << INT_MIN << INT_MAX << 22 << 0;
}

void tst_ScrollModel::setterFailsWithoutMovingThumb()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, thumbLength);
    QFETCH(int, value);
    ScrollModel m = makeModel();
    QVERIFY(m.setValue(15));
    const int16_t top = m.thumbTop();
    m.setValueMin(min);
    m.setValueMax(max);
    m.setThumbLength(int16_t(thumbLength));
    QVERIFY(!m.setValue(value));
    QCOMPARE(m.value(), value); // stored all the same
    QCOMPARE(m.thumbTop(), top);
}

void tst_ScrollModel::redrawWithoutRangeStillBoundsThumb()
{
    ScrollModel m = makeModel(0, 5);
    m.setThumbTop(0);
    m.placeThumbForRedraw();
    QCOMPARE(int(m.thumbTop()), 17);
}

void tst_ScrollModel::pagingDownStopsPastPressPoint()
{
    ScrollModel m = makeModel();
    m.mousePress(ScrollModel::kLeftButton, 100.0f);
    QVERIFY(m.isTimerEnabled());
    QCOMPARE(m.timerInterval(), 100);

    QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped);
    m.finishTick();
    QCOMPARE(m.value(), 5);
    QCOMPARE(int(m.thumbTop()), 59);
    QVERIFY(m.isTimerEnabled());

    QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped);
    m.finishTick();
    QCOMPARE(m.value(), 10);
    QCOMPARE(int(m.thumbTop()), 102); // past the press at row 100
    QVERIFY(!m.isTimerEnabled());
    QCOMPARE(m.timerInterval(), 100); // paging never speeds up
}

void tst_ScrollModel::pagingUpApproachesAndRests()
{
    ScrollModel m = makeModel();
    m.setValue(30);
    m.mousePress(ScrollModel::kLeftButton, 60.0f);

    QList<int> values;
    for (int i = 0; i < 10; ++i) {
        const auto result = m.tick();
        if (result == ScrollModel::TickResult::Skipped)
            break;
        QCOMPARE(result, ScrollModel::TickResult::Stepped);
        m.finishTick();
        values << m.value();
    }
    // Whole pages while far above the thumb, then a proportional step into
    // the dead zone around the press point, where the ticks go quiet.
    QCOMPARE(values, (QList<int> { 25, 20, 15, 10, 7 }));
    QCOMPARE(int(m.thumbTop()), 59);
    QCOMPARE(m.tick(), ScrollModel::TickResult::Skipped);
    QVERIFY(m.isTimerEnabled()); // paging up has no stop of its own
}

void tst_ScrollModel::pageDownTickSitsLowerThanSetter()
{
    ScrollModel m = makeModel();
    m.keyPress(ScrollModel::kKeyPageDown);
    QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped);
    m.finishTick();
    QCOMPARE(m.value(), 5);
    const int afterTick = m.thumbTop();
    m.setValue(5);
    QCOMPARE(afterTick - m.thumbTop(), 17);

    m.keyPress(ScrollModel::kKeyPageUp);
    QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped);
    QCOMPARE(m.value(), 0);
    QCOMPARE(int(m.thumbTop()), 17); // an upward step sits where the setter puts it
}

void tst_ScrollModel::arrowBoxHeldAtLimit_data()
{
    QTest::addColumn<float>("pressY");
    QTest::addColumn<int>("startValue");

    QTest::newRow("up arrow at ValueMin") << 5.0f << 0;
    QTest::newRow("down arrow at ValueMax") << 295.0f << 30;
}

void tst_ScrollModel::arrowBoxHeldAtLimit()
{
    QFETCH(float, pressY);
    QFETCH(int, startValue);
    ScrollModel m = makeModel();
    m.setValue(startValue);
    const int16_t top = m.thumbTop();
    m.mousePress(ScrollModel::kLeftButton, pressY);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped); // Change every tick
        m.finishTick();
        QCOMPARE(m.value(), startValue);
        QCOMPARE(m.thumbTop(), top);
        QCOMPARE(m.timerInterval(), 100); // no line step, no speed-up
    }
}

void tst_ScrollModel::deadZoneAroundThumb_data()
{
    QTest::addColumn<float>("pressY");
    QTest::addColumn<bool>("skipped");

    // Thumb at row 17, L = 22: the zone runs from row 14 to row 45.
    QTest::newRow("row 13, up arrow still reports") << 13.0f << false;
    QTest::newRow("row 14, three above the thumb") << 14.0f << true;
    QTest::newRow("row 16, on the up arrow box") << 16.0f << true;
    QTest::newRow("row 45, below the grip") << 45.0f << true;
    QTest::newRow("row 46, track below") << 46.0f << false;
}

void tst_ScrollModel::deadZoneAroundThumb()
{
    QFETCH(float, pressY);
    QFETCH(bool, skipped);
    ScrollModel m = makeModel();
    m.mousePress(ScrollModel::kLeftButton, pressY);
    QVERIFY(!m.isDragging());
    QCOMPARE(m.tick() == ScrollModel::TickResult::Skipped, skipped);
}

void tst_ScrollModel::arrowKeyAtLimitMakesNoStep_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("startValue");
    QTest::addColumn<int>("pressY");

    // A press left on the track must not make the held key page.
    QTest::newRow("Up key at ValueMin, press left below") << int(ScrollModel::kKeyUp) << 0 << 200;
    QTest::newRow("Down key at ValueMax, press left above") << int(ScrollModel::kKeyDown) << 30 << 40;
    QTest::newRow("Up key below ValueMin is pulled into range") << int(ScrollModel::kKeyUp) << -3 << 0;
}

void tst_ScrollModel::arrowKeyAtLimitMakesNoStep()
{
    QFETCH(int, key);
    QFETCH(int, startValue);
    QFETCH(int, pressY);
    ScrollModel m = makeModel();
    m.mousePress(ScrollModel::kLeftButton, float(pressY));
    m.mouseRelease();
    m.setValue(startValue);
    m.keyPress(int16_t(key));
    QCOMPARE(m.tick(), ScrollModel::TickResult::Stepped);
    QCOMPARE(m.value(), qBound(0, startValue, 30));
    ScrollModel reference = makeModel();
    reference.setValue(m.value());
    QCOMPARE(m.thumbTop(), reference.thumbTop());
}

void tst_ScrollModel::lineStepSwitchesToFastInterval()
{
    ScrollModel m = makeModel();
    m.mousePress(ScrollModel::kLeftButton, 290.0f);
    QCOMPARE(m.timerInterval(), 100);
    QCOMPARE(tickUntilQuiet(m, 40), 40); // never stops by itself
    QCOMPARE(m.value(), 30);
    QCOMPARE(m.timerInterval(), 10);
    m.mouseRelease();
    QVERIFY(!m.isTimerEnabled());
    QCOMPARE(m.timerInterval(), 10); // a release leaves the interval
}

void tst_ScrollModel::tickFailureChangesNothing_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("key");

    QTest::newRow("page down past 32 bits") << 0 << INT_MAX << INT_MAX - 2 << int(ScrollModel::kKeyPageDown);
    QTest::newRow("page up past 32 bits") << INT_MIN << 0 << INT_MIN + 2 << int(ScrollModel::kKeyPageUp);
    QTest::newRow("no range") << 10 << 10 << 10 << int(ScrollModel::kKeyPageDown);
}

void tst_ScrollModel::tickFailureChangesNothing()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(int, key);
    ScrollModel m = makeModel();
    m.setValue(15);
    const int16_t top = m.thumbTop();
    m.setValueMin(min);
    m.setValueMax(max);
    m.storeValue(value);
    m.keyPress(int16_t(key));
    QCOMPARE(m.tick(), ScrollModel::TickResult::Failed);
    QCOMPARE(m.value(), value);
    QCOMPARE(m.thumbTop(), top);
}

void tst_ScrollModel::drag_data()
{
    QTest::addColumn<float>("y");
    QTest::addColumn<int>("expectedValue");
    QTest::addColumn<int>("expectedTop");

    QTest::newRow("onto the up arrow box") << 5.0f << 0 << 17;
    QTest::newRow("onto the down arrow box") << 290.0f << 30 << kHeight - (22 + 22);
    QTest::newRow("middle of the track") << 150.0f << 15 << 136;
    QTest::newRow("far above the control") << -500.0f << 0 << 17;
}

void tst_ScrollModel::drag()
{
    QFETCH(float, y);
    QFETCH(int, expectedValue);
    QFETCH(int, expectedTop);
    ScrollModel m = makeModel();
    QVERIFY(m.isOnThumb(20.0f));
    m.mousePress(ScrollModel::kLeftButton, 20.0f);
    QVERIFY(m.isDragging());
    QVERIFY(!m.isTimerEnabled()); // a press on the thumb moves nothing
    QCOMPARE(m.value(), 0);
    QVERIFY(m.dragStep(y));
    QCOMPARE(m.value(), expectedValue);
    QCOMPARE(int(m.thumbTop()), expectedTop);
}

void tst_ScrollModel::dragWithoutSpanFails()
{
    ScrollModel m = makeModel(30, 5, 1, 34); // H - (L + 12) = 0 with L = 22
    m.setThumbLength(22);
    m.setThumbTop(17);
    m.storeValue(3);
    QVERIFY(!m.dragStep(20.0f));
    QCOMPARE(m.value(), 3);
    QCOMPARE(int(m.thumbTop()), 17);
}

void tst_ScrollModel::pressAndKeyTransitions()
{
    ScrollModel m = makeModel();
    m.mousePress(2, 100.0f); // right button
    QVERIFY(!m.isTimerEnabled());
    QVERIFY(!m.isDragging());

    m.keyPress(ScrollModel::kKeyDown);
    QCOMPARE(int(m.repeatMode()), int(ScrollModel::RepeatLineDown));
    QCOMPARE(m.timerInterval(), 10);
    QVERIFY(m.isTimerEnabled());

    // A press while the key is held keeps the key's mode: the ticks go on
    // following the key, at the press's interval.
    m.mousePress(ScrollModel::kLeftButton, 200.0f);
    QCOMPARE(int(m.repeatMode()), int(ScrollModel::RepeatLineDown));
    QCOMPARE(m.timerInterval(), 100);

    m.keyPress(65); // any other key re-enables while a mode is set
    QCOMPARE(int(m.repeatMode()), int(ScrollModel::RepeatLineDown));
    QVERIFY(m.isTimerEnabled());

    m.keyRelease();
    QCOMPARE(int(m.repeatMode()), int(ScrollModel::RepeatMouse));
    QVERIFY(!m.isTimerEnabled());
    QCOMPARE(m.timerInterval(), 100);

    m.keyPress(65);
    QVERIFY(!m.isTimerEnabled());
}

QTEST_GUILESS_MAIN(tst_ScrollModel)
#include "tst_scrollmodel.moc"
