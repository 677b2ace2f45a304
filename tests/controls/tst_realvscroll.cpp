// The scroll bar widget: its properties and their store, what it paints, and
// how real mouse and key events drive it.
#include "realvscroll.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kWidth = 25;
constexpr int kHeight = 299;
const QRgb kGrey229 = qRgb(229, 229, 229); // shade 18 of white: box fills

// The main window's scroll bar: 25 x 299, range 0..30, page 5, line 1.
struct Fixture
{
    QWidget host;
    RealvScroll *bar = nullptr;
    explicit Fixture(int32_t max = 30)
    {
        host.resize(100, 320);
        bar = new RealvScroll(&host);
        bar->setGeometry(10, 10, kWidth, kHeight);
        bar->setValueMax(max);
        bar->setValueLargeChange(5);
        bar->setValueSmallChange(1);
        host.show();
        bar->Refresh();
        bar->setValue(0);
    }
};

// The thumb's top row, found from the 90 % fill that starts three rows below
// it (column 3 shows the dither everywhere else on the track).
int thumbTopIn(const QImage &image)
{
    for (int y = 16; y < image.height() - 18; ++y)
        if (image.pixel(3, y) == kGrey229)
            return y - 3;
    return -1;
}

QImage grabOf(RealvScroll *bar)
{
    return bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool isDither(const QImage &image, int x, int y)
{
    const QRgb expected = (x + y) % 2 == 0 ? qRgb(140, 140, 140) : qRgb(255, 255, 255);
    return image.pixel(x, y) == expected;
}

QPoint onRow(int y)
{
    return QPoint(kWidth / 2, y);
}

} // namespace

class tst_RealvScroll : public QObject
{
    Q_OBJECT
private slots:
    void newInstanceStoresNothing();
    void loadsOnlyStoredNames();
    void storeRoundTrip();
    void unreadableValueStopsLoading_data();
    void unreadableValueStopsLoading();
    void settersNotify_data();
    void settersNotify();
    void setValueRaisesChangeOnce_data();
    void setValueRaisesChangeOnce();
    void rangeSettersMoveNothing();
    void accessibleValueIsTheHostsPosition();
    void noRangeDoesNotBreakSetter();
    void mousePointerTable_data();
    void mousePointerTable();

    void ditherParity();
    void downArrowTipIsBlack_data();
    void downArrowTipIsBlack();
    void trackRestoredUnderOldThumb();
    void focusFrame();

    void quickClickChangesNothing_data();
    void quickClickChangesNothing();
    void holdingDownArrowSteps();
    void rightButtonOnlyReportsAndStops();
    void anyKeyReleaseStopsPaging();
    void focusLossStopsKeyRepeat();
    void disablingStopsRepeat();
    void dragWithRealEvents();
    void releaseInsideDragYield();
    void reentrantHostStaysShallow();
};

void tst_RealvScroll::newInstanceStoresNothing()
{
    RealvScroll bar;
    QCOMPARE(bar.ValueMax(), 100);
    QCOMPARE(bar.Value(), 0);
    QCOMPARE(bar.ValueMin(), 0);
    QCOMPARE(bar.ValueLargeChange(), 5);
    QCOMPARE(bar.ValueSmallChange(), 1);
    QCOMPARE(bar.BackColor(), 0xFFFFFFu);
    PropertyBag bag;
    bar.WriteProperties(bag);
    QVERIFY2(bag.isEmpty(), qPrintable(bag.names().join(',')));
}

void tst_RealvScroll::loadsOnlyStoredNames()
{
    RealvScroll bar;
    QSignalSpy changes(&bar, &RealvScroll::Change);
    QSignalSpy notices(&bar, &RealvScroll::PropertyChanged);
    const PropertyBag stored = PropertyBag::fromText("BackColor=16761024\nValueMax=30");
    QVERIFY(bar.ReadProperties(stored));
    QCOMPARE(bar.BackColor(), 0xFFC0C0u);
    QCOMPARE(bar.ValueMax(), 30);
    QCOMPARE(bar.Value(), 0);
    QCOMPARE(bar.ValueMin(), 0);
    QCOMPARE(bar.ValueLargeChange(), 5);
    QCOMPARE(bar.ValueSmallChange(), 1);
    QVERIFY(bar.Enabled());
    QCOMPARE(bar.MousePointer(), int16_t(0));
    QCOMPARE(changes.count(), 0);
    // Only the icon is assigned through its property.
    QCOMPARE(notices.count(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), QString("MouseIcon"));

    PropertyBag again;
    bar.WriteProperties(again);
    QCOMPARE(again.names(), (QStringList { "BackColor", "ValueMax" }));
}

void tst_RealvScroll::storeRoundTrip()
{
    RealvScroll source;
    source.setBackColor(0x80FF40);
    source.setValueMax(-5);
    source.setValueMin(-900);
    source.setValue(-1000); // below ValueMin is stored as it is
    source.setEnabled(false);
    source.setMousePointer(11);
    source.setMouseIcon(QCursor(Qt::CrossCursor));
    source.setValueLargeChange(0);
    source.setValueSmallChange(-3);
    PropertyBag bag;
    source.WriteProperties(bag);
    QCOMPARE(bag.names().size(), 9);

    RealvScroll copy;
    QVERIFY(copy.ReadProperties(PropertyBag::fromText(bag.toText())));
    QCOMPARE(copy.BackColor(), 0x80FF40u);
    QCOMPARE(copy.ValueMax(), -5);
    QCOMPARE(copy.ValueMin(), -900);
    QCOMPARE(copy.Value(), -1000);
    QVERIFY(!copy.Enabled());
    QCOMPARE(copy.MousePointer(), int16_t(11));
    QCOMPARE(copy.MouseIcon().shape(), Qt::CrossCursor);
    QCOMPARE(copy.ValueLargeChange(), 0);
    QCOMPARE(copy.ValueSmallChange(), -3);
}

void tst_RealvScroll::unreadableValueStopsLoading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expectedMax");
    QTest::addColumn<uint>("expectedColour");

    QTest::newRow("colour not a number") << "BackColor=blue\nValueMax=30" << 100 << 0xFFFFFFu;
    QTest::newRow("ValueMax past 32 bits, colour already loaded")
        << "BackColor=&HFFC0C0\nValueMax=4294967296" << 100 << 0xFFC0C0u;
    QTest::newRow("pointer past 16 bits, ValueMax already loaded")
        << "ValueMax=30\nMousePointer=40000" << 30 << 0xFFFFFFu;
    QTest::newRow("icon that is no picture") << "ValueMax=7\nMouseIcon=teapot" << 7 << 0xFFFFFFu;
}

void tst_RealvScroll::unreadableValueStopsLoading()
{
    QFETCH(QString, text);
    QFETCH(int, expectedMax);
    QFETCH(uint, expectedColour);
    RealvScroll bar;
    QVERIFY(!bar.ReadProperties(PropertyBag::fromText(text)));
    QCOMPARE(bar.ValueMax(), expectedMax);
    QCOMPARE(bar.BackColor(), uint32_t(expectedColour));
}

void tst_RealvScroll::settersNotify_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("BackColor") << "BackColor";
    QTest::newRow("ValueMax") << "ValueMax";
    QTest::newRow("Value") << "Value";
    QTest::newRow("Enabled") << "Enabled";
    QTest::newRow("MousePointer") << "MousePointer";
    QTest::newRow("MouseIcon") << "MouseIcon";
    QTest::newRow("ValueMin") << "ValueMin";
    QTest::newRow("ValueLargeChange") << "ValueLargeChange";
    QTest::newRow("ValueSmallChange") << "ValueSmallChange";
}

void tst_RealvScroll::settersNotify()
{
    QFETCH(QString, name);
    RealvScroll bar;
    QSignalSpy notices(&bar, &RealvScroll::PropertyChanged);
    if (name == "BackColor") bar.setBackColor(0xFFC0C0);
    else if (name == "ValueMax") bar.setValueMax(30);
    else if (name == "Value") bar.setValue(3);
    else if (name == "Enabled") bar.setEnabled(false);
    else if (name == "MousePointer") bar.setMousePointer(1);
    else if (name == "MouseIcon") bar.setMouseIcon(QCursor(Qt::CrossCursor));
    else if (name == "ValueMin") bar.setValueMin(-1);
    else if (name == "ValueLargeChange") bar.setValueLargeChange(9);
    else if (name == "ValueSmallChange") bar.setValueSmallChange(2);
    QCOMPARE(notices.count(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), name);
}

void tst_RealvScroll::setValueRaisesChangeOnce_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside the range") << 12 << 12;
    QTest::newRow("the value already held") << 0 << 0;
    QTest::newRow("above ValueMax is capped") << 31 << 30;
    QTest::newRow("below ValueMin is kept") << -2 << -2;
}

void tst_RealvScroll::setValueRaisesChangeOnce()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    int seen = INT_MIN;
    connect(f.bar, &RealvScroll::Change, f.bar, [&] { seen = f.bar->Value(); });
    f.bar->setValue(value);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(seen, expected); // Value is already new inside Change
    QCOMPARE(f.bar->Value(), expected);
}

// Screen readers read the bar as Value, or as the position its host says
// Value stands for; setting it goes through the host, capped to the range.
void tst_RealvScroll::accessibleValueIsTheHostsPosition()
{
    struct Scaled : RealvScrollPosition {
        RealvScroll *bar;
        qint64 position() const override { return qint64(bar->Value()) * 1000; }
        qint64 minimumPosition() const override { return 0; }
        qint64 maximumPosition() const override { return qint64(bar->ValueMax()) * 1000; }
        qint64 positionStep() const override { return 7; }
        void setPosition(qint64 p) override { bar->setValue(int32_t(p / 1000)); }
    };
    Fixture f;
    f.bar->setValue(12);
    QAccessibleValueInterface *value = QAccessible::queryAccessibleInterface(f.bar)->valueInterface();
    QVERIFY(value);
    QCOMPARE(value->currentValue().toLongLong(), 12);
    QCOMPARE(value->maximumValue().toLongLong(), 30);
    value->setCurrentValue(99.0);
    QCOMPARE(f.bar->Value(), 30);
    Scaled scaled;
    scaled.bar = f.bar;
    f.bar->setPositionSource(&scaled);
    QCOMPARE(value->currentValue().toLongLong(), 30000);
    QCOMPARE(value->minimumStepSize().toLongLong(), 7);
    value->setCurrentValue(5400.0);
    QCOMPARE(f.bar->Value(), 5);
    value->setCurrentValue(1e12);
    QCOMPARE(f.bar->Value(), 30);
    f.bar->setPositionSource(nullptr);
}

void tst_RealvScroll::rangeSettersMoveNothing()
{
    Fixture f;
    f.bar->setValue(30);
    const QImage before = grabOf(f.bar);
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    f.bar->setValueMax(10);
    f.bar->setValueMin(-10);
    f.bar->setValueLargeChange(1);
    QCOMPARE(f.bar->Value(), 30);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(grabOf(f.bar), before);
}

void tst_RealvScroll::noRangeDoesNotBreakSetter()
{
    Fixture f;
    f.bar->setValue(15);
    const int top = thumbTopIn(grabOf(f.bar));
    f.bar->setValueMin(15);
    f.bar->setValueMax(15);
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    f.bar->setValue(15);
    QCOMPARE(f.bar->Value(), 15);
    QCOMPARE(changes.count(), 1); // the host's view still follows Value
    QCOMPARE(thumbTopIn(grabOf(f.bar)), top);
    f.bar->Refresh(); // nor does the full redraw fail
    QCOMPARE(thumbTopIn(grabOf(f.bar)), top);
}

void tst_RealvScroll::mousePointerTable_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("withIcon");
    QTest::addColumn<int>("shape"); // -1: no cursor of the control's own

    QTest::newRow("0 default") << 0 << false << -1;
    QTest::newRow("1 arrow") << 1 << false << int(Qt::ArrowCursor);
    QTest::newRow("11 hourglass") << 11 << false << int(Qt::WaitCursor);
    QTest::newRow("99 with an icon") << 99 << true << int(Qt::PointingHandCursor);
    QTest::newRow("99 without an icon") << 99 << false << -1;
    QTest::newRow("unknown code") << 42 << false << -1;
}

void tst_RealvScroll::mousePointerTable()
{
    QFETCH(int, code);
    QFETCH(bool, withIcon);
    QFETCH(int, shape);
    QWidget host;
    auto *bar = new RealvScroll(&host);
    bar->setMousePointer(11);
    if (withIcon)
        bar->setMouseIcon(QCursor(Qt::PointingHandCursor));
    bar->setMousePointer(int16_t(code));
    QCOMPARE(bar->testAttribute(Qt::WA_SetCursor), shape >= 0);
    if (shape >= 0)
        QCOMPARE(int(bar->cursor().shape()), shape);
}

void tst_RealvScroll::ditherParity()
{
    Fixture f;
    f.bar->setValue(0); // thumb at rows 17..43
    const QImage image = grabOf(f.bar);
    for (int y = 60; y < kHeight - 18; y += 37)
        for (int x = 2; x < kWidth - 2; ++x)
            QVERIFY2(isDither(image, x, y), qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
}

void tst_RealvScroll::downArrowTipIsBlack_data()
{
    QTest::addColumn<uint>("backColor");
    QTest::addColumn<QRgb>("upTip");
    QTest::newRow("white") << 0xFFFFFFu << qRgb(140, 140, 140);
    QTest::newRow("window colour") << 0xFFC0C0u << qRgb(106, 106, 140);
    QTest::newRow("black") << 0u << qRgb(0, 0, 0);
}

void tst_RealvScroll::downArrowTipIsBlack()
{
    QFETCH(uint, backColor);
    QFETCH(QRgb, upTip);
    Fixture f;
    f.bar->setBackColor(backColor);
    const QImage image = grabOf(f.bar);
    QCOMPARE(image.pixel(12, kHeight - 7), qRgb(0, 0, 0));
    QCOMPARE(image.pixel(12, 6), upTip);
}

void tst_RealvScroll::trackRestoredUnderOldThumb()
{
    Fixture f;
    f.bar->setValue(15);
    const QImage atMiddle = grabOf(f.bar);
    const int oldTop = thumbTopIn(atMiddle);
    QCOMPARE(oldTop, 127);
    for (int v : { 3, 29, 8, 0 })
        f.bar->setValue(v);
    const QImage moved = grabOf(f.bar);
    QCOMPARE(thumbTopIn(moved), 17);
    for (int y = oldTop; y <= oldTop + 22 + 4; ++y)
        for (int x = 2; x < kWidth - 2; ++x)
            QVERIFY2(isDither(moved, x, y), qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
}

void tst_RealvScroll::focusFrame()
{
    Fixture f;
    const QImage unfocused = grabOf(f.bar);
    QCOMPARE(unfocused.pixel(0, 150), qRgb(140, 140, 140));
    f.host.activateWindow();
    f.bar->setFocus();
    QTRY_VERIFY(f.bar->hasFocus());
    const QImage focused = grabOf(f.bar);
    for (const QPoint p : { QPoint(0, 0), QPoint(kWidth - 1, kHeight - 1), QPoint(0, 30),
                            QPoint(kWidth - 1, 150), QPoint(12, kHeight - 1) })
        QCOMPARE(focused.pixel(p), qRgb(0, 0, 0));
    QCOMPARE(focused.pixel(1, 30), unfocused.pixel(1, 30));
    f.bar->clearFocus();
    QTRY_COMPARE(grabOf(f.bar), unfocused);
}

void tst_RealvScroll::quickClickChangesNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("key"); // 0: a click on `row` instead
    QTest::newRow("down arrow box") << 290 << 0;
    QTest::newRow("up arrow box") << 5 << 0;
    QTest::newRow("track below the thumb") << 200 << 0;
    QTest::newRow("Page Down tap") << 0 << int(Qt::Key_PageDown);
    QTest::newRow("Page Up tap") << 0 << int(Qt::Key_PageUp);
}

void tst_RealvScroll::quickClickChangesNothing()
{
    QFETCH(int, row);
    QFETCH(int, key);
    Fixture f;
    f.bar->setValue(15);
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    // No event loop runs between press and release, so the release comes
    // before any tick could.
    if (key) {
        QTest::keyPress(f.bar, Qt::Key(key));
        QTest::keyRelease(f.bar, Qt::Key(key));
    } else {
        QTest::mousePress(f.bar, Qt::LeftButton, {}, onRow(row));
        QTest::mouseRelease(f.bar, Qt::LeftButton, {}, onRow(row));
    }
    QTest::qWait(250);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(f.bar->Value(), 15);
}

void tst_RealvScroll::holdingDownArrowSteps()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::mousePress(f.bar, Qt::LeftButton, {}, onRow(290));
    QCOMPARE(changes.count(), 0); // nothing moves on the press itself
    QTRY_VERIFY_WITH_TIMEOUT(f.bar->Value() == 30, 10000);
    // At ValueMax the held arrow still reports, with Value resting there.
    const int atLimit = changes.count();
    QVERIFY(atLimit >= 30);
    QTRY_VERIFY_WITH_TIMEOUT(changes.count() > atLimit + 3, 10000);
    QCOMPARE(f.bar->Value(), 30);

    QTest::mouseRelease(f.bar, Qt::LeftButton, {}, onRow(290));
    const int released = changes.count();
    QTest::qWait(200);
    QCOMPARE(changes.count(), released);
}

void tst_RealvScroll::rightButtonOnlyReportsAndStops()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QList<QList<float>> mouseUps;
    connect(f.bar, &RealvScroll::MouseUp, f.bar,
            [&](short &button, short &shift, float &x, float &y) {
                mouseUps << QList<float> { float(button), float(shift), x, y };
            });

    QTest::keyPress(f.bar, Qt::Key_PageDown);
    QTRY_VERIFY(changes.count() >= 1); // the key pages
    QTest::mousePress(f.bar, Qt::RightButton, {}, onRow(20)); // on the thumb: no drag
    QTest::mouseRelease(f.bar, Qt::RightButton, Qt::ShiftModifier | Qt::AltModifier, onRow(200));
    const int stopped = changes.count();
    const int value = f.bar->Value();
    QTest::qWait(300);
    QCOMPARE(changes.count(), stopped);
    QCOMPARE(f.bar->Value(), value);
    QCOMPARE(mouseUps.size(), 1);
    QCOMPARE(mouseUps.at(0), (QList<float> { 2, 5, 12, 200 }));
}

void tst_RealvScroll::anyKeyReleaseStopsPaging()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::keyPress(f.bar, Qt::Key_PageDown);
    QTRY_VERIFY(changes.count() >= 2);
    QTest::keyRelease(f.bar, Qt::Key_A);
    const int stopped = changes.count();
    QVERIFY(f.bar->Value() >= 10);
    QCOMPARE(f.bar->Value() % 5, 0); // whole pages only
    QTest::qWait(300);
    QCOMPARE(changes.count(), stopped);
}

void tst_RealvScroll::focusLossStopsKeyRepeat()
{
    Fixture f;
    auto *other = new QWidget(&f.host);
    other->setFocusPolicy(Qt::StrongFocus);
    other->setGeometry(50, 10, 20, 20);
    other->show();
    f.host.activateWindow();
    f.bar->setFocus();
    QTRY_VERIFY(f.bar->hasFocus());
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::keyPress(f.bar, Qt::Key_Down);
    QTRY_VERIFY(changes.count() >= 1);
    other->setFocus(); // the key's release will go to `other`
    QTRY_VERIFY(!f.bar->hasFocus());
    const int stopped = changes.count();
    QTest::qWait(200);
    QCOMPARE(changes.count(), stopped);
}

void tst_RealvScroll::disablingStopsRepeat()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::mousePress(f.bar, Qt::LeftButton, {}, onRow(290));
    QTRY_VERIFY(changes.count() >= 1);
    f.bar->setEnabled(false);
    const int stopped = changes.count();
    QTest::qWait(200);
    QCOMPARE(changes.count(), stopped);
}

void tst_RealvScroll::dragWithRealEvents()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::mousePress(f.bar, Qt::LeftButton, {}, onRow(25)); // on the thumb
    QCOMPARE(changes.count(), 0);
    QTest::mouseMove(f.bar, onRow(150));
    QCOMPARE(f.bar->Value(), 15);
    QCOMPARE(thumbTopIn(grabOf(f.bar)), 136);
    QTest::mouseMove(f.bar, onRow(296)); // onto the down arrow box
    QCOMPARE(f.bar->Value(), 30);
    QCOMPARE(thumbTopIn(grabOf(f.bar)), kHeight - (22 + 22));
    QCOMPARE(changes.count(), 2);
    QTest::mouseRelease(f.bar, Qt::LeftButton, {}, onRow(296));
    QTest::mouseMove(f.bar, onRow(5));
    QCOMPARE(changes.count(), 2); // no drag after the release
}

// Moves and a release queued up behind a move are handled inside the drag
// step's yield: each move before the release takes its step, the first step
// still raises its Change, and no move after the release drags.
void tst_RealvScroll::releaseInsideDragYield()
{
    Fixture f;
    QSignalSpy changes(f.bar, &RealvScroll::Change);
    QTest::mousePress(f.bar, Qt::LeftButton, {}, onRow(25));
    const auto post = [&](QEvent::Type type, int y, Qt::MouseButtons held) {
        const QPointF local = onRow(y);
        QCoreApplication::postEvent(
            f.bar, new QMouseEvent(type, local, f.bar->mapToGlobal(local),
                                   type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                                   held, Qt::NoModifier));
    };
    post(QEvent::MouseMove, 100, Qt::LeftButton);
    post(QEvent::MouseMove, 150, Qt::LeftButton);
    post(QEvent::MouseButtonRelease, 150, Qt::NoButton);
    post(QEvent::MouseMove, 5, Qt::NoButton);
    QTest::mouseMove(f.bar, onRow(60));
    QCoreApplication::processEvents();
    QCOMPARE(f.bar->Value(), 15); // the last move before the release
    QCOMPARE(changes.count(), 3);
    const int settled = changes.count();
    QTest::qWait(150);
    QCOMPARE(changes.count(), settled); // no timer left running
}

// The main window yields to the event loop inside its Change handler; ticks
// and moves arriving there must not nest the control's handlers any deeper.
void tst_RealvScroll::reentrantHostStaysShallow()
{
    Fixture f(100000);
    int depth = 0;
    int deepest = 0;
    connect(f.bar, &RealvScroll::Change, f.bar, [&] {
        ++depth;
        deepest = qMax(deepest, depth);
        QTest::qWait(15); // a slow host that yields, longer than a line step
        --depth;
    });
    QTest::keyPress(f.bar, Qt::Key_Down);
    QTRY_VERIFY(f.bar->Value() >= 5);
    QTest::keyRelease(f.bar, Qt::Key_Down);
    QCOMPARE(deepest, 1);
}

QTEST_MAIN(tst_RealvScroll)
#include "tst_realvscroll.moc"
