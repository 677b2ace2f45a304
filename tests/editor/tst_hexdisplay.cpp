// The main window's grid, selection and editing boxes, driven through real
// key and mouse events where the behaviour is about events, and checked
// against a plain reference array of bytes.
#include "ansi.h"
#include "cellgrid.h"
#include "gridgeometry.h"
#include "hexdisplay.h"
#include "mainmods.h"
#include "readout.h"
#include "realvscroll.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QtTest>

namespace {
constexpr uint32_t kInFile = 0xFF8080;
constexpr uint32_t kPastEnd = 0xFFC0C0;

// Puts `bytes` in the shared buffer and fits the window to it, as a load does.
void loadBytes(HexDisplay &w, const QByteArray &bytes)
{
    QVERIFY(MainMods::ByteBuffer.allocate(bytes.size()));
    for (qsizetype i = 0; i < bytes.size(); ++i)
        MainMods::ByteBuffer[i] = uint8_t(bytes[i]);
    w.Realsc()->setValue(0);
    w.GoNow();
}

QByteArray pattern(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char('a' + i % 26);
    return b;
}

// Every cell shows the byte the view maps to it, or is blank past the end.
void checkCells(const HexDisplay &w)
{
    const int64_t v = w.Realsc()->Value();
    for (int i = 0; i <= w.LastIndex(); ++i) {
        const int64_t p = v + i;
        if (MainMods::ByteBuffer.contains(p)) {
            QCOMPARE(w.ShowLab()->caption(i), int(MainMods::ByteBuffer[int32_t(p)]));
        } else {
            QCOMPARE(w.ShowLab()->caption(i), CellGrid::kNoCaption);
            QCOMPARE(w.ShowLab()->backColor(i), kPastEnd);
        }
    }
}

bool selectionShown(const HexDisplay &w)
{
    return w.Text1(0)->isVisible() && w.Text1(1)->isVisible() && w.Text1(2)->isVisible()
        && w.Label1()->isVisible() && w.Label2(0)->isVisible() && w.Label2(1)->isVisible();
}

bool selectionHidden(const HexDisplay &w)
{
    return w.Text1(0)->isHidden() && w.Text1(1)->isHidden() && w.Text1(2)->isHidden()
        && w.Label1()->isHidden() && w.Label2(0)->isHidden() && w.Label2(1)->isHidden();
}

void clickCell(HexDisplay &w, int cell)
{
    QTest::mouseClick(w.ShowLab(), Qt::LeftButton, {}, GridGeometry::cellRect(cell).center());
}

void typeInto(QLineEdit *box, const QString &keys)
{
    for (QChar c : keys)
        QTest::keyClick(box, c.toLatin1());
}
} // namespace

class tst_HexDisplay : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startUp();
    void goNowPaths_data();
    void goNowPaths();
    void smallBufferAfterLargeOne();
    void lastPageOfOneByteOverAPage();
    void scrollingHidesSelectionAndMouseUpForgetsFind();
    void findOnOnePageKeepsTheFirstByteInView();

    void clickSelects_data();
    void clickSelects();
    void keyboardReachesTheGrid_data();
    void keyboardReachesTheGrid();
    void hoverTip();
    void readoutFormats_data();
    void readoutFormats();

    void typingOverTheFile();
    void typingStopsAtEndOfBufferAndPage();
    void decimalBox();
    void hexadecimalBox();
    void pastedTextIsNotWritten();
    void characterWithoutCodeIsNotWritten();
    void composedCharactersAreTyped_data();
    void composedCharactersAreTyped();
    void characterBoxEditsBesideKeys_data();
    void characterBoxEditsBesideKeys();
    void arrowKeys_data();
    void arrowKeys();
    void downAtBottomScrollsOneByteAndCellsStayTrue();
    void randomEditingMatchesReference();

private:
    HexDisplay *m_window = nullptr;
};

void tst_HexDisplay::init()
{
    MainMods::ChosenPath.clear();
    MainMods::LastFindText.clear();
    m_window = new HexDisplay;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_HexDisplay::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_HexDisplay::startUp()
{
    HexDisplay &w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Veltrano Editor V1.01"));
    QCOMPARE(MainMods::ByteBuffer.size(), 1000);
    QCOMPARE(w.Width(), HexDisplay::kNarrowWidth);
    QVERIFY(w.Realsc()->isHidden());
    QCOMPARE(w.LastIndex(), 999);
    for (int i = 0; i < 1600; ++i) {
        QCOMPARE(w.ShowLab()->caption(i), i < 1000 ? 0 : CellGrid::kNoCaption);
        QCOMPARE(w.ShowLab()->backColor(i), i < 1000 ? kInFile : kPastEnd);
    }
    QVERIFY(selectionHidden(w));
    QCOMPARE(w.Realsc()->BackColor(), 0xFFC0C0u);
}

void tst_HexDisplay::goNowPaths_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("scrolls");
    QTest::addColumn<int>("lastIndex");
    QTest::newRow("empty buffer") << 0 << false << -1;
    QTest::newRow("one byte") << 1 << false << 0;
    QTest::newRow("exactly one page, 1600 bytes") << 1600 << false << 1599;
    QTest::newRow("one byte over, 1601 bytes") << 1601 << true << 1599;
    QTest::newRow("1 MB") << (1 << 20) << true << 1599;
}

void tst_HexDisplay::goNowPaths()
{
    QFETCH(int, size);
    QFETCH(bool, scrolls);
    QFETCH(int, lastIndex);
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(size));
    QCOMPARE(w.LastIndex(), lastIndex);
    QCOMPARE(w.Width(), scrolls ? HexDisplay::kWideWidth : HexDisplay::kNarrowWidth);
    QCOMPARE(w.Realsc()->isHidden(), !scrolls);
    if (scrolls) {
        QCOMPARE(w.Realsc()->ValueMax(), size - 1);
        QCOMPARE(w.Realsc()->ValueSmallChange(), 80);
        QCOMPARE(w.Realsc()->ValueLargeChange(), 1599);
    } else {
        QCOMPARE(w.Realsc()->ValueMax(), 1);
    }
    for (int i = 0; i < 1600; ++i)
        QCOMPARE(w.ShowLab()->backColor(i), i < size ? kInFile : kPastEnd);
    checkCells(w);
}

void tst_HexDisplay::smallBufferAfterLargeOne()
{
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(5000));
    w.Realsc()->setValue(2000);
    loadBytes(w, pattern(10));
    QVERIFY(w.Realsc()->isHidden());
    for (int i = 10; i < 1600; ++i) {
        QCOMPARE(w.ShowLab()->caption(i), CellGrid::kNoCaption);
        QCOMPARE(w.ShowLab()->backColor(i), kPastEnd);
    }
    checkCells(w);
}

void tst_HexDisplay::lastPageOfOneByteOverAPage()
{
    HexDisplay &w = *m_window;
    QByteArray bytes = pattern(1601);
    bytes[1600] = 'Z';
    loadBytes(w, bytes);
    w.Realsc()->setValue(1);
    checkCells(w);
    w.Realsc()->setValue(1600);
    QCOMPARE(w.ShowLab()->caption(0), int('Z'));
    QCOMPARE(w.ShowLab()->backColor(0), kInFile);
    for (int i = 1; i < 1600; ++i)
        QCOMPARE(w.ShowLab()->backColor(i), kPastEnd);
    // Beyond the range the scroll bar holds the view at its end.
    w.Realsc()->setValue(5000);
    QCOMPARE(w.Realsc()->Value(), 1600);
    checkCells(w);
}

void tst_HexDisplay::scrollingHidesSelectionAndMouseUpForgetsFind()
{
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(4000));
    clickCell(w, 3);
    QVERIFY(selectionShown(w));
    w.Realsc()->setValue(80);
    QVERIFY(selectionHidden(w));
    QCOMPARE(w.SelIndex(), 3); // the selection itself survives
    MainMods::LastFindText = "abc";
    QTest::mouseClick(w.Realsc(), Qt::RightButton, {}, QPoint(5, 150));
    QVERIFY(MainMods::LastFindText.isEmpty());
}

void tst_HexDisplay::findOnOnePageKeepsTheFirstByteInView()
{
    HexDisplay &w = *m_window;
    FindHost &host = w;
    host.setViewStart(491); // a match at 500 asks for the view at 491
    QCOMPARE(host.viewStart(), 0);
    checkCells(w);
    loadBytes(w, pattern(5000));
    host.setViewStart(491);
    QCOMPARE(host.viewStart(), 491);
}

void tst_HexDisplay::clickSelects_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("selIndex"); // -1: the click changes nothing
    QTest::addColumn<QString>("readout");
    QTest::newRow("first cell at start-up") << 1000 << 0 << 0 << 0 << "Byte : 1 Hex : 1";
    QTest::newRow("blank cell past the end") << 1000 << 0 << 1000 << -1 << "";
    QTest::newRow("view 160, cell 5") << 4000 << 160 << 5 << 165 << "Byte : 166 Hex : A6";
    QTest::newRow("last cell of a page") << 4000 << 0 << 1599 << 1599 << "Byte : 1600 Hex : 640";
    QTest::newRow("empty buffer") << 0 << 0 << 0 << -1 << "";
}

void tst_HexDisplay::clickSelects()
{
    QFETCH(int, size);
    QFETCH(int, view);
    QFETCH(int, cell);
    QFETCH(int, selIndex);
    QFETCH(QString, readout);
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(size));
    w.Realsc()->setValue(view);
    clickCell(w, cell);
    if (selIndex < 0) {
        QVERIFY(selectionHidden(w));
        QCOMPARE(w.SelIndex(), 0);
        return;
    }
    QVERIFY(selectionShown(w));
    QCOMPARE(w.SelIndex(), selIndex);
    QCOMPARE(w.SelCell(), cell);
    QCOMPARE(w.Label1()->text(), readout);
    const uint8_t b = MainMods::ByteBuffer[selIndex];
    QCOMPARE(w.Text1(0)->text(), Readout::decimal(b));
    QCOMPARE(w.Text1(1)->text(), Readout::hexadecimal(b));
    QCOMPARE(w.Text1(2)->geometry().topLeft(), GridGeometry::cellClientRect(cell).topLeft());
    QVERIFY(w.Text1(2)->hasFocus());
    QCOMPARE(MainMods::ByteBuffer[selIndex], b); // filling the boxes wrote nothing new
}

void tst_HexDisplay::keyboardReachesTheGrid_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("route");
    QTest::addColumn<int>("selIndex"); // -1: nothing is selected afterwards
    QTest::addColumn<QString>("focus"); // "bar", "box" (the character box) or "grid"
    QTest::newRow("a file over a page leaves the focus on the scroll bar") << 4000 << "load" << -1 << "bar";
    QTest::newRow("Tab from the scroll bar selects the first byte in view") << 4000 << "Tab" << 160 << "box";
    QTest::newRow("Shift+Tab from the scroll bar, round to the grid") << 4000 << "Backtab" << 160 << "box";
    QTest::newRow("one page, no scroll bar: Tab selects the first byte") << 1000 << "Tab" << 0 << "box";
    QTest::newRow("Shift+Tab from the character box goes back") << 4000 << "Tab Backtab" << 160 << "bar";
    QTest::newRow("Tab back to a byte still selected") << 4000 << "Tab Backtab Tab" << 160 << "box";
    QTest::newRow("scrolling away from the box selects nothing") << 4000 << "Tab scroll" << -1 << "bar";
    QTest::newRow("a one-page file after the bar had the focus") << 4000 << "load small" << -1 << "grid";
}

// Keyboard entry selects exactly as a click on the first cell in view does;
// a focus that moves because controls were hidden selects nothing.
void tst_HexDisplay::keyboardReachesTheGrid()
{
    QFETCH(int, size);
    QFETCH(QString, route);
    QFETCH(int, selIndex);
    QFETCH(QString, focus);
    HexDisplay &w = *m_window;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    loadBytes(w, pattern(size));
    if (size > 1600)
        w.Realsc()->setValue(160);
    const auto keyFromFocus = [](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        QCoreApplication::processEvents(); // the grid selects once its focus change is over
    };
    for (const QString &step : route.split(QLatin1Char(' '))) {
        if (step == QLatin1String("Tab"))
            keyFromFocus(Qt::Key_Tab);
        else if (step == QLatin1String("Backtab"))
            keyFromFocus(Qt::Key_Backtab);
        else if (step == QLatin1String("scroll"))
            w.Realsc()->setValue(240);
        else if (step == QLatin1String("small"))
            loadBytes(w, pattern(100));
    }
    QCoreApplication::processEvents();
    QWidget *const expected = focus == QLatin1String("bar") ? static_cast<QWidget *>(w.Realsc())
        : focus == QLatin1String("box")                     ? static_cast<QWidget *>(w.Text1(2))
                                                            : static_cast<QWidget *>(w.ShowLab());
    QCOMPARE(QApplication::focusWidget(), expected);
    if (selIndex < 0) {
        QVERIFY(selectionHidden(w));
        return;
    }
    QVERIFY(selectionShown(w));
    QCOMPARE(w.SelIndex(), selIndex);
    QCOMPARE(w.SelCell(), 0);
    QCOMPARE(w.Label1()->text(), Readout::selection(selIndex));
    QCOMPARE(w.Text1(2)->geometry().topLeft(), GridGeometry::cellClientRect(0).topLeft());
}

void tst_HexDisplay::hoverTip()
{
    HexDisplay &w = *m_window;
    QByteArray bytes = pattern(3000);
    bytes[0] = 77;
    loadBytes(w, bytes);
    QTest::mouseMove(w.ShowLab(), GridGeometry::cellRect(0).center());
    QTRY_COMPARE(w.ShowLab()->toolTipText(0), QStringLiteral("Position 1, Asc 77, Hex 4D"));
    w.Realsc()->setValue(2999);
    // Past the end the tip keeps its last text.
    QTest::mouseMove(w.ShowLab(), GridGeometry::cellRect(5).center());
    QTest::mouseMove(w.ShowLab(), GridGeometry::cellRect(0).center());
    QTRY_COMPARE(w.ShowLab()->toolTipText(0),
                 Readout::cellTip(2999, MainMods::ByteBuffer[2999]));
    QVERIFY(w.ShowLab()->toolTipText(5).isEmpty());
}

void tst_HexDisplay::readoutFormats_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("index 0") << 0 << "Byte : 1 Hex : 1";
    QTest::newRow("index 9, no leading zero") << 9 << "Byte : 10 Hex : A";
    QTest::newRow("index 255") << 255 << "Byte : 256 Hex : 100";
    QTest::newRow("largest index") << 2147483646 << "Byte : 2147483647 Hex : 7FFFFFFF";
}

void tst_HexDisplay::readoutFormats()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QCOMPARE(Readout::selection(index), text);
}

void tst_HexDisplay::typingOverTheFile()
{
    HexDisplay &w = *m_window;
    clickCell(w, 0);
    QTest::keyClick(w.Text1(2), 'A');
    QCOMPARE(MainMods::ByteBuffer[0], uint8_t(65));
    QCOMPARE(w.ShowLab()->caption(0), 65);
    QCOMPARE(w.SelIndex(), 1);
    QCOMPARE(w.Text1(2)->geometry().topLeft(), GridGeometry::cellClientRect(1).topLeft());
    QCOMPARE(w.Label1()->text(), QStringLiteral("Byte : 2 Hex : 2"));
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("0"));
    // Control characters are typed bytes too.
    QTest::keyClick(w.Text1(2), Qt::Key_Backspace);
    QTest::keyClick(w.Text1(2), Qt::Key_Return);
    QTest::keyClick(w.Text1(2), Qt::Key_Escape);
    QTest::keyClick(w.Text1(2), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(MainMods::ByteBuffer.span()), 6),
             QByteArray("A\b\r\x1b\x03\0", 6));
    QCOMPARE(w.SelIndex(), 5);
    // The readout keeps the size of its text, also where the text grows.
    QCOMPARE(w.Label1()->size(), w.Label1()->sizeHint());
    typeInto(w.Text1(2), "fghij");
    QCOMPARE(w.Label1()->text(), QStringLiteral("Byte : 11 Hex : B"));
    QCOMPARE(w.Label1()->size(), w.Label1()->sizeHint());
}

void tst_HexDisplay::typingStopsAtEndOfBufferAndPage()
{
    HexDisplay &w = *m_window;
    clickCell(w, 999); // the last byte of the start-up buffer
    QTest::keyClick(w.Text1(2), 'x');
    QCOMPARE(MainMods::ByteBuffer[999], uint8_t('x'));
    QCOMPARE(w.SelIndex(), 999);
    QCOMPARE(w.ShowLab()->caption(999), int('x'));
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("120"));
    QCOMPARE(w.Text1(1)->text(), QStringLiteral("78"));

    loadBytes(w, pattern(4000));
    clickCell(w, 1599);
    QTest::keyClick(w.Text1(2), 'y');
    QCOMPARE(MainMods::ByteBuffer[1599], uint8_t('y'));
    QCOMPARE(w.SelCell(), 1599);
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("121"));
    QCOMPARE(w.Text1(1)->text(), QStringLiteral("79"));
}

void tst_HexDisplay::decimalBox()
{
    HexDisplay &w = *m_window;
    clickCell(w, 7);
    QLineEdit *dec = w.Text1(0);
    dec->clear();
    QCOMPARE(MainMods::ByteBuffer[7], uint8_t(0)); // emptying changes nothing
    QTest::keyClick(dec, '2');
    QCOMPARE(MainMods::ByteBuffer[7], uint8_t(2));
    QTest::keyClick(dec, '5');
    QCOMPARE(MainMods::ByteBuffer[7], uint8_t(25));
    QCOMPARE(w.Text1(1)->text(), QStringLiteral("19")); // the other box follows
    QTest::keyClick(dec, '6'); // 256 is no byte: the digit is refused
    QCOMPARE(MainMods::ByteBuffer[7], uint8_t(25));
    QCOMPARE(dec->text(), QStringLiteral("25"));
    QTest::keyClick(dec, '5');
    QCOMPARE(MainMods::ByteBuffer[7], uint8_t(255));
    QCOMPARE(w.Text1(1)->text(), QStringLiteral("FF"));
    QCOMPARE(w.ShowLab()->caption(7), 255);
    QTest::keyClick(dec, 'x'); // not a digit
    QCOMPARE(dec->text(), QStringLiteral("255"));
}

void tst_HexDisplay::hexadecimalBox()
{
    HexDisplay &w = *m_window;
    clickCell(w, 3);
    QLineEdit *hex = w.Text1(1);
    hex->clear();
    QTest::keyClick(hex, 'f');
    QCOMPARE(MainMods::ByteBuffer[3], uint8_t(15));
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("15"));
    QTest::keyClick(hex, 'f');
    QCOMPARE(MainMods::ByteBuffer[3], uint8_t(255));
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("255"));
    QTest::keyClick(hex, 'g');
    QCOMPARE(hex->text(), QStringLiteral("ff"));
}

void tst_HexDisplay::pastedTextIsNotWritten()
{
    HexDisplay &w = *m_window;
    MainMods::ByteBuffer[4] = 42;
    clickCell(w, 4);
    w.Text1(0)->setText(QStringLiteral("-1"));
    w.Text1(0)->setText(QStringLiteral("9x"));
    w.Text1(0)->setText(QStringLiteral("999"));
    w.Text1(1)->setText(QStringLiteral("zz"));
    w.Text1(1)->setText(QStringLiteral("+a"));
    QCOMPARE(MainMods::ByteBuffer[4], uint8_t(42));
    QCOMPARE(w.Text1(0)->text(), QStringLiteral("42"));
    QCOMPARE(w.Text1(1)->text(), QStringLiteral("2A"));
}

void tst_HexDisplay::characterWithoutCodeIsNotWritten()
{
    HexDisplay &w = *m_window;
    clickCell(w, 10);
    QTest::sendKeyEvent(QTest::Click, w.Text1(2), Qt::Key_unknown, QStringLiteral("\u03A9"), {});
    QCOMPARE(MainMods::ByteBuffer[10], uint8_t(0));
    QCOMPARE(w.SelIndex(), 10);
    // The euro sign has a code in the page: 0x80.
    QTest::sendKeyEvent(QTest::Click, w.Text1(2), Qt::Key_unknown, QStringLiteral("\u20AC"), {});
    QCOMPARE(MainMods::ByteBuffer[10], uint8_t(0x80));
    QCOMPARE(w.SelIndex(), 11);
}

void tst_HexDisplay::composedCharactersAreTyped_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("before");  // typed as keys before the commit
    QTest::addColumn<QString>("preedit"); // shown while composing, then committed
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QString>("after");   // typed as keys after it
    QTest::addColumn<QByteArray>("bytes"); // the first four bytes then
    QTest::addColumn<int>("selIndex");

    QTest::newRow("character box: A, dead acute and e, B")
        << 2 << "A" << QStringLiteral("\u00B4") << QStringLiteral("\u00E9") << "B" << QByteArray("A\xE9" "B\0", 4) << 3;
    QTest::newRow("character box: a commit of two characters, in order")
        << 2 << "" << "" << "xy" << "" << QByteArray("xy\0\0", 4) << 2;
    QTest::newRow("character box: the euro sign has a code")
        << 2 << "" << "" << QStringLiteral("\u20AC") << "" << QByteArray("\x80\0\0\0", 4) << 1;
    QTest::newRow("character box: no code, nothing written, nothing moves")
        << 2 << "" << "" << QStringLiteral("\u03A9\U0001F600") << "B" << QByteArray("B\0\0\0", 4) << 1;
    QTest::newRow("character box: a pre-edit alone writes nothing")
        << 2 << "" << QStringLiteral("\u00B4") << "" << "" << QByteArray(4, '\0') << 0;
    QTest::newRow("decimal box: digits only") << 0 << "" << "" << "1x2" << "" << QByteArray("\x0C\0\0\0", 4) << 0;
    QTest::newRow("decimal box: nothing that would pass 255") << 0 << "2" << "" << "59" << "" << QByteArray("\x19\0\0\0", 4) << 0;
    QTest::newRow("hexadecimal box: hex digits only") << 1 << "" << "" << "fg" << "" << QByteArray("\x0F\0\0\0", 4) << 0;
}

void tst_HexDisplay::composedCharactersAreTyped()
{
    QFETCH(int, box);
    QFETCH(QString, before);
    QFETCH(QString, preedit);
    QFETCH(QString, commit);
    QFETCH(QString, after);
    QFETCH(QByteArray, bytes);
    QFETCH(int, selIndex);
    HexDisplay &w = *m_window;
    clickCell(w, 0);
    QLineEdit *edit = w.Text1(box);
    if (box != 2) {
        edit->setFocus();
        edit->clear();
    }
    typeInto(edit, before);
    if (!preedit.isEmpty()) {
        QInputMethodEvent composing(preedit, {});
        QApplication::sendEvent(edit, &composing);
        QCOMPARE(MainMods::ByteBuffer[0], uint8_t(before.isEmpty() ? 0 : before.at(0).unicode()));
    }
    if (box == 2)
        QCOMPARE(w.Text1(2)->text(), Ansi::toString(MainMods::ByteBuffer[w.SelIndex()]));
    if (!commit.isEmpty()) {
        QInputMethodEvent committed;
        committed.setCommitString(commit);
        QApplication::sendEvent(edit, &committed);
    }
    typeInto(edit, after);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(MainMods::ByteBuffer.span()), 4), bytes);
    QCOMPARE(w.SelIndex(), selIndex);
    // The character box shows its byte, and every box the byte's value.
    QCOMPARE(w.Text1(2)->text(), Ansi::toString(MainMods::ByteBuffer[selIndex]));
    if (box == 2)
        QCOMPARE(w.Text1(0)->text(), QString::number(MainMods::ByteBuffer[selIndex]));
    checkCells(w);
}

void tst_HexDisplay::characterBoxEditsBesideKeys_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<uint8_t>("written"); // byte 0 afterwards ('Q' before)
    QTest::addColumn<int>("selIndex");

    QTest::newRow("context menu Paste types the first character") << "menu paste" << uint8_t('x') << 1;
    QTest::newRow("text dropped on it types the first character") << "drop" << uint8_t('x') << 1;
    QTest::newRow("a commit over its selected text types it") << "commit over selection" << uint8_t('x') << 1;
    QTest::newRow("a dropped character without a code writes nothing") << "drop omega" << uint8_t('Q') << 0;
    QTest::newRow("a middle click writes nothing") << "middle click" << uint8_t('Q') << 0;
}

void tst_HexDisplay::characterBoxEditsBesideKeys()
{
    QFETCH(QString, route);
    QFETCH(uint8_t, written);
    QFETCH(int, selIndex);
    HexDisplay &w = *m_window;
    MainMods::ByteBuffer[0] = 'Q';
    clickCell(w, 0);
    QLineEdit *box = w.Text1(2);
    QApplication::clipboard()->setText(QStringLiteral("xyz"));
    if (route == QLatin1String("menu paste")) {
        QStringList entries;
        QTimer::singleShot(0, [&entries] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                if (!action->isSeparator())
                    entries << action->text().section(QLatin1Char('\t'), 0, 0);
            for (QAction *action : menu->actions())
                if (action->text().startsWith(QLineEdit::tr("&Paste")))
                    action->trigger();
            menu->close();
        });
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(box, &menuEvent);
        // Nothing left that could empty the box or bring back an older text.
        QCOMPARE(entries, (QStringList{QLineEdit::tr("&Copy"), QLineEdit::tr("&Paste"), QLineEdit::tr("Select All")}));
    } else if (route.startsWith(QLatin1String("drop"))) {
        QMimeData data;
        data.setText(route == QLatin1String("drop") ? QStringLiteral("xyz") : QStringLiteral("\u03A9"));
        box->selectAll(); // a drop must not replace it either
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        // The drop goes where the drag entered.
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(box, &enter);
        QApplication::sendEvent(box, &drop);
    } else if (route == QLatin1String("middle click")) {
        if (QApplication::clipboard()->supportsSelection())
            QApplication::clipboard()->setText(QStringLiteral("xyz"), QClipboard::Selection);
        QTest::mouseClick(box, Qt::MiddleButton, {}, QPoint(2, 2));
    } else if (route == QLatin1String("commit over selection")) {
        box->selectAll();
        QInputMethodEvent committed;
        committed.setCommitString(QStringLiteral("x"), -box->cursorPosition(), 1);
        QApplication::sendEvent(box, &committed);
    }
    QCOMPARE(MainMods::ByteBuffer[0], written);
    QCOMPARE(w.SelIndex(), selIndex);
    QCOMPARE(box->text(), Ansi::toString(MainMods::ByteBuffer[selIndex]));
    QCOMPARE(w.ShowLab()->caption(0), int(written));
}

void tst_HexDisplay::arrowKeys_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("cell");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("toCell");
    QTest::newRow("cell 80, key Up") << 4000 << 80 << int(Qt::Key_Up) << 80;
    QTest::newRow("cell 81, key Up") << 4000 << 81 << int(Qt::Key_Up) << 1;
    QTest::newRow("cell 0, key Left") << 4000 << 0 << int(Qt::Key_Left) << 0;
    QTest::newRow("cell 5, key Left") << 4000 << 5 << int(Qt::Key_Left) << 4;
    QTest::newRow("cell 1599, key Right") << 4000 << 1599 << int(Qt::Key_Right) << 1599;
    QTest::newRow("cell 7, key Right") << 4000 << 7 << int(Qt::Key_Right) << 8;
    QTest::newRow("cell 7, key Down") << 4000 << 7 << int(Qt::Key_Down) << 87;
    QTest::newRow("cell 1518, key Down, one page") << 1600 << 1518 << int(Qt::Key_Down) << 1598;
    QTest::newRow("cell 950, key Down, near the end") << 1000 << 950 << int(Qt::Key_Down) << 950;
    QTest::newRow("last byte, key Right") << 1000 << 999 << int(Qt::Key_Right) << 999;
}

void tst_HexDisplay::arrowKeys()
{
    QFETCH(int, size);
    QFETCH(int, cell);
    QFETCH(int, key);
    QFETCH(int, toCell);
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(size));
    clickCell(w, cell);
    QTest::keyClick(w.Text1(2), Qt::Key(key));
    QCOMPARE(w.SelCell(), toCell);
    QCOMPARE(w.SelIndex(), toCell);
    QCOMPARE(w.Text1(2)->geometry().topLeft(), GridGeometry::cellClientRect(toCell).topLeft());
    QCOMPARE(w.Label1()->text(), Readout::selection(toCell));
}

void tst_HexDisplay::downAtBottomScrollsOneByteAndCellsStayTrue()
{
    HexDisplay &w = *m_window;
    loadBytes(w, pattern(4000));
    clickCell(w, 1518);
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    QCOMPARE(w.Realsc()->Value(), 1); // one byte, not one row
    QCOMPARE(w.SelIndex(), 1598);
    QCOMPARE(w.SelCell(), 1597); // the selection stays on its byte
    QVERIFY(selectionHidden(w));
    checkCells(w);
    // A second Down from the hidden box keeps every cell true as well.
    QTest::keyClick(w.Text1(2), Qt::Key_Down);
    checkCells(w);
}

void tst_HexDisplay::randomEditingMatchesReference()
{
    HexDisplay &w = *m_window;
    QByteArray reference = pattern(2500);
    loadBytes(w, reference);
    QRandomGenerator gen(7);
    const Qt::Key arrows[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down};
    for (int step = 0; step < 600; ++step) {
        const int action = gen.bounded(10);
        if (action == 0 || w.Text1(2)->isHidden()) {
            const int cell = gen.bounded(1600);
            clickCell(w, cell);
        } else if (action < 5) {
            const char c = char('0' + gen.bounded(75));
            const int32_t at = w.SelIndex();
            QTest::keyClick(w.Text1(2), c);
            reference[at] = c;
        } else if (action < 8) {
            QTest::keyClick(w.Text1(2), arrows[gen.bounded(4)]);
        } else if (action == 8) {
            const int v = gen.bounded(256);
            w.Text1(0)->clear();
            typeInto(w.Text1(0), QString::number(v));
            reference[qsizetype(w.SelIndex())] = char(v);
        } else {
            const int v = gen.bounded(256);
            w.Text1(1)->clear();
            typeInto(w.Text1(1), QString::number(v, 16));
            reference[qsizetype(w.SelIndex())] = char(v);
        }
        if (step % 50 == 0)
            w.Realsc()->setValue(gen.bounded(900));
    }
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(MainMods::ByteBuffer.span()), reference.size()),
             reference);
    checkCells(w);
}

QTEST_MAIN(tst_HexDisplay)
#include "tst_hexdisplay.moc"
