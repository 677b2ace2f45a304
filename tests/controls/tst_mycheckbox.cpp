// The check box control: its byte value and cross, its stored property, and
// the events it passes on by reference.
#include "mycheckbox.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kBoxFill = qRgb(192, 192, 255);

QImage grabOf(myCheckBox &box)
{
    return box.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The cross's centre, where both lines meet.
bool showsCross(myCheckBox &box)
{
    const QImage image = grabOf(box);
    return image.pixel(6, 6) == kBlue && image.pixel(4, 4) == kBlue && image.pixel(9, 4) == kBlue;
}

// Records the keys that reach it, to see which ones the control passes on.
class KeySink : public QWidget
{
public:
    int presses = 0;
protected:
    void keyPressEvent(QKeyEvent *) override { ++presses; }
};

} // namespace

class tst_myCheckBox : public QObject
{
    Q_OBJECT
private slots:
    void newControlIsUnchecked();
    void writeShowsValue_data();
    void writeShowsValue();
    void drawing();
    void storedValue_data();
    void storedValue();
    void unreadableStoredValue();
    void clickReportsOnly();
    void mouseEventsCarryArguments();
    void keyArgumentsByReference();
    void discardedKeyStaysWithControl_data();
    void discardedKeyStaysWithControl();
};

void tst_myCheckBox::newControlIsUnchecked()
{
    myCheckBox box;
    box.resize(box.sizeHint());
    QCOMPARE(box.sizeHint(), QSize(14, 14));
    QCOMPARE(box.Checked(), uint8_t(0));
    QVERIFY(!showsCross(box));
}

void tst_myCheckBox::writeShowsValue_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("cross");

    QTest::newRow("0 after 1 hides the cross") << 1 << 0 << false;
    QTest::newRow("1 shows the cross") << 0 << 1 << true;
    QTest::newRow("2 shows the cross, reads 2") << 0 << 2 << true;
    QTest::newRow("255 reads 255") << 1 << 255 << true;
    QTest::newRow("same value again") << 1 << 1 << true;
}

void tst_myCheckBox::writeShowsValue()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, cross);
    myCheckBox box;
    box.resize(box.sizeHint());
    box.setChecked(uint8_t(first));
    QSignalSpy notices(&box, &myCheckBox::PropertyChanged);
    box.setChecked(uint8_t(second));
    QCOMPARE(int(box.Checked()), second);
    QCOMPARE(showsCross(box), cross);
    QCOMPARE(notices.count(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), QString("Checked"));
}

void tst_myCheckBox::drawing()
{
    myCheckBox box;
    box.resize(30, 30); // a larger control keeps the drawing in its corner
    box.setChecked(1);
    const QImage image = grabOf(box);
    QCOMPARE(image.pixel(0, 0), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(1, 1), kBlue);   // border corners
    QCOMPARE(image.pixel(12, 12), kBlue);
    QCOMPARE(image.pixel(12, 1), kBlue);
    QCOMPARE(image.pixel(2, 6), kBoxFill);
    QCOMPARE(image.pixel(13, 13), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(20, 20), qRgb(255, 255, 255));
    // The cross's line ends are the pixels (3, 3) and (10, 10): inside the
    // border, blue covers exactly rows and columns 3 to 10, all four corners.
    QRect cross;
    for (int y = 2; y <= 11; ++y)
        for (int x = 2; x <= 11; ++x)
            if (image.pixel(x, y) == kBlue)
                cross |= QRect(x, y, 1, 1);
    QCOMPARE(cross, QRect(QPoint(3, 3), QPoint(10, 10)));
    for (const QPoint corner : {QPoint(3, 3), QPoint(10, 3), QPoint(3, 10), QPoint(10, 10)})
        QVERIFY2(image.pixel(corner) == kBlue, qPrintable(QStringLiteral("corner %1,%2").arg(corner.x()).arg(corner.y())));
}

void tst_myCheckBox::storedValue_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("stored");
    QTest::newRow("checked comes back checked") << 1 << true;
    QTest::newRow("2 comes back as 2") << 2 << true;
    QTest::newRow("unchecked stores no entry") << 0 << false;
}

void tst_myCheckBox::storedValue()
{
    QFETCH(int, value);
    QFETCH(bool, stored);
    myCheckBox source;
    source.setChecked(uint8_t(value));
    PropertyBag bag;
    source.WriteProperties(bag);
    QCOMPARE(bag.contains("Checked"), stored);

    myCheckBox loaded;
    loaded.resize(loaded.sizeHint());
    loaded.setChecked(7); // loading replaces whatever was there
    QVERIFY(loaded.ReadProperties(PropertyBag::fromText(bag.toText())));
    QCOMPARE(int(loaded.Checked()), value);
    QCOMPARE(showsCross(loaded), value != 0);
}

void tst_myCheckBox::unreadableStoredValue()
{
    myCheckBox box;
    box.setChecked(1);
    QVERIFY(!box.ReadProperties(PropertyBag::fromText("Checked=256")));
    QVERIFY(!box.ReadProperties(PropertyBag::fromText("Checked=yes")));
    QCOMPARE(box.Checked(), uint8_t(1));
}

void tst_myCheckBox::clickReportsOnly()
{
    myCheckBox box;
    box.resize(box.sizeHint());
    box.show();
    QSignalSpy clicks(&box, &myCheckBox::Click);
    QSignalSpy notices(&box, &myCheckBox::PropertyChanged);
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(box.Checked(), uint8_t(0));
    QCOMPARE(notices.count(), 0);

    QTest::mouseClick(&box, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(&box, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&box, Qt::LeftButton, {}, QPoint(40, 40)); // released off it
    QCOMPARE(clicks.count(), 1);
}

void tst_myCheckBox::mouseEventsCarryArguments()
{
    myCheckBox box;
    box.resize(box.sizeHint());
    box.show();
    QStringList seen;
    const auto record = [&](const char *name) {
        return [&seen, name](short &button, short &shift, float &x, float &y) {
            seen << QString("%1 %2 %3 %4,%5").arg(name).arg(button).arg(shift).arg(x).arg(y);
        };
    };
    connect(&box, &myCheckBox::MouseDown, &box, record("down"));
    connect(&box, &myCheckBox::MouseUp, &box, record("up"));
    QTest::mousePress(&box, Qt::RightButton, Qt::ControlModifier, QPoint(3, 4));
    QTest::mouseRelease(&box, Qt::RightButton, Qt::ShiftModifier, QPoint(6, 7));
    QCOMPARE(seen, (QStringList { "down 2 2 3,4", "up 2 1 6,7" }));
}

void tst_myCheckBox::keyArgumentsByReference()
{
    myCheckBox box;
    short secondSaw = -1;
    short downSaw = -1;
    connect(&box, &myCheckBox::KeyPress, &box, [](short &keyAscii) { keyAscii = 0; });
    connect(&box, &myCheckBox::KeyPress, &box, [&](short &keyAscii) { secondSaw = keyAscii; });
    connect(&box, &myCheckBox::KeyDown, &box, [&](short &keyCode, short &) { downSaw = keyCode; });
    QTest::keyClick(&box, Qt::Key_A, Qt::NoModifier);
    QCOMPARE(downSaw, short(65));
    QCOMPARE(secondSaw, short(0));
}

void tst_myCheckBox::discardedKeyStaysWithControl_data()
{
    QTest::addColumn<bool>("discard");
    QTest::addColumn<int>("parentSees");
    QTest::newRow("host sets KeyAscii to 0") << true << 0;
    QTest::newRow("host leaves KeyAscii") << false << 1;
}

void tst_myCheckBox::discardedKeyStaysWithControl()
{
    QFETCH(bool, discard);
    QFETCH(int, parentSees);
    KeySink parent;
    auto *box = new myCheckBox(&parent);
    int typed = 0;
    connect(box, &myCheckBox::KeyPress, box, [&](short &keyAscii) {
        typed = keyAscii;
        if (discard)
            keyAscii = 0;
    });
    QTest::keyClick(box, 'X');
    QCOMPARE(typed, int('X'));
    QCOMPARE(parent.presses, parentSees);
}

QTEST_MAIN(tst_myCheckBox)
#include "tst_mycheckbox.moc"
