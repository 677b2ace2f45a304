// The editor from start to finish, as a user drives it: open a file through
// the chooser by typing its name, type over bytes, change one through the
// hexadecimal box, save and compare the disk byte for byte, find a text and
// check from a screenshot that exactly the matched cells are red, drag the
// scroll bar to the end, and exit. Only X input events and screenshots.
// One session uses the keyboard alone, from start-up to the save.
#include "xvfbserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kFileSize = 3000;
constexpr int kNeedleAt = 2000; // where "NEEDLE" stands in the file
constexpr int kClientHeight = 342;

const QColor kInFile(128, 128, 255);
const QColor kPastEnd(192, 192, 255);
const QColor kFound(255, 0, 0);

QByteArray initialBytes()
{
    QByteArray b(kFileSize, Qt::Uninitialized);
    for (int i = 0; i < kFileSize; ++i)
        b[i] = char('a' + i % 26);
    b.replace(kNeedleAt, 6, "NEEDLE");
    b[kFileSize - 1] = 'Z';
    return b;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void keyboardAlone();
    void composedAndHeldKeys();
    void wholeSession();

private:
    QString xdotool(const QStringList &args, int *exitCode = nullptr);
    QString waitForWindow(const QString &name);
    Geometry geometry(const QString &window);
    QImage screenshot();
    // Screenshots until `ready` holds (or ten seconds pass): the program
    // handles the X events in its own time.
    QImage screenshotWhen(const std::function<bool(const QImage &)> &ready);
    QColor cellColour(const QImage &shot, int cell);
    QPoint cellPoint(int cell);
    QPoint clientPoint(int x, int y);
    void key(const QString &keys);
    void type(const QString &text);
    void focus(const QString &window);
    void clickAt(const QPoint &p);
    void openFile(const QString &name);
    // Holds a key down for `ms` milliseconds: the server repeats it meanwhile.
    void holdKey(const QString &name, int ms);
    QByteArray saveAndRead(const QString &name, char lastTyped);

    XvfbServer m_xvfb;
    QTemporaryDir m_dir;
    QProcess m_editor;
    QString m_main;
    Geometry m_mainGeometry;
    QString m_skip;
};

void tst_EndToEnd::initTestCase()
{
    for (const char *tool : {"xdotool", "import"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
    QString why;
    if (!m_xvfb.start(&why, QStringLiteral("1024x768x24")))
        QSKIP(qPrintable(why));
    QFile f(m_dir.filePath(QStringLiteral("data.bin")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(initialBytes()), qint64(kFileSize));
    f.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_xvfb.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_editor.setProcessEnvironment(env);
    // The chooser opens on the working directory, where data.bin lies.
    m_editor.setWorkingDirectory(m_dir.path());
    m_editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_editor.start(QStringLiteral(VELTRANO_BINARY), {});
    QVERIFY(m_editor.waitForStarted(10000));
    m_main = waitForWindow(QStringLiteral("Veltrano Editor V1.01"));
    QVERIFY(!m_main.isEmpty());
}

void tst_EndToEnd::cleanupTestCase()
{
    if (m_editor.state() != QProcess::NotRunning) {
        m_editor.kill();
        m_editor.waitForFinished(5000);
    }
    m_xvfb.stop();
}

QString tst_EndToEnd::xdotool(const QStringList &args, int *exitCode)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_xvfb.display());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(20000);
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString tst_EndToEnd::waitForWindow(const QString &name)
{
    // --sync waits until a window of that exact name exists.
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(name) + QLatin1Char('$');
    const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--name"), pattern});
    return out.section(QLatin1Char('\n'), 0, 0);
}

Geometry tst_EndToEnd::geometry(const QString &window)
{
    Geometry g;
    const QString out = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (line.startsWith(QLatin1String("X=")))
            g.x = value;
        else if (line.startsWith(QLatin1String("Y=")))
            g.y = value;
        else if (line.startsWith(QLatin1String("WIDTH=")))
            g.width = value;
        else if (line.startsWith(QLatin1String("HEIGHT=")))
            g.height = value;
    }
    return g;
}

QImage tst_EndToEnd::screenshot()
{
    const QString file = m_dir.filePath(QStringLiteral("screen.png"));
    QProcess::execute(QStringLiteral("import"), {QStringLiteral("-display"), m_xvfb.display(),
                                                 QStringLiteral("-window"), QStringLiteral("root"), file});
    return QImage(file);
}

QImage tst_EndToEnd::screenshotWhen(const std::function<bool(const QImage &)> &ready)
{
    QElapsedTimer clock;
    clock.start();
    QImage shot = screenshot();
    while (!shot.isNull() && !ready(shot) && clock.elapsed() < 10000) {
        QTest::qWait(100);
        shot = screenshot();
    }
    return shot;
}

// The client area starts below the menu bar, which takes the window's height
// above the fixed client height.
QPoint tst_EndToEnd::clientPoint(int x, int y)
{
    const Geometry &g = m_mainGeometry;
    return QPoint(g.x + x, g.y + (g.height - kClientHeight) + y);
}

QPoint tst_EndToEnd::cellPoint(int cell)
{
    return clientPoint(8 + 8 * (cell % 80) + 3, 36 + 15 * (cell / 80) + 7);
}

QColor tst_EndToEnd::cellColour(const QImage &shot, int cell)
{
    // The cell's bottom-right pixel: below and right of any glyph.
    const QPoint p = clientPoint(8 + 8 * (cell % 80) + 6, 36 + 15 * (cell / 80) + 13);
    return QColor(shot.pixel(p));
}

void tst_EndToEnd::key(const QString &keys)
{
    xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")}
            + keys.split(QLatin1Char(' ')));
    QTest::qWait(150);
}

void tst_EndToEnd::type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), text});
    QTest::qWait(150);
}

void tst_EndToEnd::focus(const QString &window)
{
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    QTest::qWait(100);
}

void tst_EndToEnd::clickAt(const QPoint &p)
{
    xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
             QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(200);
}

// Opens a file of the working directory through the chooser, by typing its name.
void tst_EndToEnd::openFile(const QString &name)
{
    focus(m_main);
    key(QStringLiteral("alt+f"));
    key(QStringLiteral("o"));
    const QString chooser = waitForWindow(QStringLiteral("Load File..."));
    QVERIFY(!chooser.isEmpty());
    focus(chooser);
    // Into the name box (File Name's access key), over the name it offers.
    key(QStringLiteral("alt+n ctrl+a"));
    type(name);
    key(QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(xdotool({QStringLiteral("getwindowname"), m_main}),
                              QStringLiteral("Veltrano Editor - ") + name, 10000);
}

void tst_EndToEnd::holdKey(const QString &name, int ms)
{
    xdotool({QStringLiteral("keydown"), name});
    QTest::qWait(ms);
    xdotool({QStringLiteral("keyup"), name});
    QTest::qWait(300);
}

// Saves with File, Save and reads the file back once the last character
// typed, found nowhere else in it, has reached the disk.
QByteArray tst_EndToEnd::saveAndRead(const QString &name, char lastTyped)
{
    key(QStringLiteral("alt+f"));
    key(QStringLiteral("v"));
    const auto onDisk = [this, name] {
        QFile saved(m_dir.filePath(name));
        return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
    };
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes = onDisk();
    while (!bytes.contains(lastTyped) && clock.elapsed() < 10000) {
        QTest::qWait(100);
        bytes = onDisk();
    }
    return bytes;
}

// Started with a file named on the command line and never touched with the
// pointer: the scroll bar has the focus at once, so Page Down pages; Tab
// selects the first byte in view, typing writes over it, the arrows move,
// Shift+Tab goes back to the scroll bar, and File, Save writes the disk.
void tst_EndToEnd::keyboardAlone()
{
    const QString name = QStringLiteral("keyboard.bin");
    QFile f(m_dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(QByteArray(100000, '.')) == 100000);
    f.close();
    QProcess editor;
    editor.setProcessEnvironment(m_editor.processEnvironment());
    editor.setWorkingDirectory(m_dir.path());
    editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor.start(QStringLiteral(VELTRANO_BINARY), {name});
    QVERIFY(editor.waitForStarted(10000));
    const QString window = waitForWindow(QStringLiteral("Veltrano Editor - ") + name);
    QVERIFY(!window.isEmpty());
    focus(window); // what a window manager does for a new window

    holdKey(QStringLiteral("Next"), 250); // one or more pages of 1599 bytes
    key(QStringLiteral("Tab"));
    type(QStringLiteral("AB"));
    key(QStringLiteral("Down"));
    type(QStringLiteral("C"));
    // Back to the scroll bar, a row or more down (the bar steps while the
    // key is held), into the grid again: the new view dropped the
    // selection, so the first byte in view is taken.
    key(QStringLiteral("shift+Tab Down Tab"));
    type(QStringLiteral("Z"));
    const QByteArray bytes = saveAndRead(name, 'Z');
    editor.kill();
    editor.waitForFinished(5000);
    QCOMPARE(bytes.size(), 100000);
    const qsizetype a = bytes.indexOf('A');
    QVERIFY2(a > 0 && a % 1599 == 0, qPrintable(QString::number(a)));
    QCOMPARE(bytes.mid(a, 2), QByteArray("AB"));
    QCOMPARE(bytes.at(a + 2 + 80), 'C'); // Down from the byte after B
    const qsizetype z = bytes.indexOf('Z');
    QVERIFY2(z > a && (z - a) % 80 == 0, qPrintable(QString::number(z - a)));
    QCOMPARE(bytes.count('.'), 100000 - 4);
}

void tst_EndToEnd::composedAndHeldKeys()
{
    if (QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty())
        QSKIP("setxkbmap is not installed");
    const QString name = QStringLiteral("keys.bin");
    QFile f(m_dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(QByteArray(200000, '\0')) == 200000);
    f.close();
    openFile(name);
    QTRY_VERIFY_WITH_TIMEOUT(geometry(m_main).width == 683, 5000);
    m_mainGeometry = geometry(m_main);
    focus(m_main);

    // A dead key composes: A, then acute and e, then B fill three bytes in a row.
    const auto layout = [this](const QStringList &args) {
        return QProcess::execute(QStringLiteral("setxkbmap"),
                                 QStringList{QStringLiteral("-display"), m_xvfb.display()} + args);
    };
    QCOMPARE(layout({QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-variant"),
                     QStringLiteral("intl")}), 0);
    // Give the program time to take up the new keyboard map.
    QTest::qWait(1000);
    clickAt(cellPoint(0));
    key(QStringLiteral("A"));
    key(QStringLiteral("dead_acute e"));
    key(QStringLiteral("B"));
    QCOMPARE(layout({QStringLiteral("-layout"), QStringLiteral("us")}), 0);
    QTest::qWait(300);

    // Right held for a while moves the character box one cell, once.
    clickAt(cellPoint(10));
    holdKey(QStringLiteral("Right"), 1200);
    type(QStringLiteral("R"));
    QByteArray bytes = saveAndRead(name, 'R');
    QCOMPARE(bytes.left(4), QByteArray("A\xE9" "B\0", 4));
    QCOMPARE(bytes.mid(10, 3), QByteArray("\0R\0", 3));

    // Page Down held on the scroll bar pages every 100 ms until it comes up:
    // about 25 pages in 2.5 s. A release taken for real stops the paging
    // for good, and one taken wrongly on every repeat keeps restarting the
    // wait; either leaves far fewer. Where a typed P lands shows the view.
    const QPoint upArrow = clientPoint(654 + 12, 36 + 8);
    clickAt(upArrow);
    holdKey(QStringLiteral("Next"), 2500);
    clickAt(cellPoint(0));
    type(QStringLiteral("P"));
    const int paged = saveAndRead(name, 'P').indexOf('P');
    QVERIFY2(paged % 1599 == 0, qPrintable(QString::number(paged)));
    const int pages = paged / 1599;
    QVERIFY2(pages >= 20 && pages <= 30, qPrintable(QStringLiteral("%1 pages").arg(pages)));
    qInfo("held keys: %d pages in 2.5 s", pages);
}

void tst_EndToEnd::wholeSession()
{
    openFile(QStringLiteral("data.bin"));
    // A file over one page widens the window for the scroll bar.
    QTRY_VERIFY_WITH_TIMEOUT(geometry(m_main).width == 683, 5000);
    m_mainGeometry = geometry(m_main);
    focus(m_main);

    // Click cell 2 and type over the file.
    QByteArray expected = initialBytes();
    clickAt(cellPoint(2));
    type(QStringLiteral("Hi!"));
    expected.replace(2, 3, "Hi!");

    // Change byte 10 through the hexadecimal box.
    clickAt(cellPoint(10));
    clickAt(clientPoint(624 + 12, 8 + 10)); // the hexadecimal box
    key(QStringLiteral("End BackSpace BackSpace"));
    type(QStringLiteral("7f"));
    expected[10] = char(0x7F);

    // Save, and compare the disk byte for byte.
    key(QStringLiteral("alt+f"));
    key(QStringLiteral("v"));
    const auto onDisk = [this] {
        QFile saved(m_dir.filePath(QStringLiteral("data.bin")));
        return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(onDisk().left(16), expected.left(16), 10000);
    QCOMPARE(onDisk(), expected);

    // Find a text; exactly its cells turn red.
    focus(m_main);
    key(QStringLiteral("ctrl+f"));
    const QString find = waitForWindow(QStringLiteral("Find Binary Bytes..."));
    QVERIFY(!find.isEmpty());
    // Out of the grid's way, so the screenshot sees every cell.
    xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), find, QStringLiteral("0"), QStringLiteral("600")});
    focus(find);
    type(QStringLiteral("NEEDLE"));
    key(QStringLiteral("alt+f"));
    // The match at position 2001 comes into view at cell 9 (view 1991).
    QImage shot = screenshotWhen([this](const QImage &img) { return cellColour(img, 9) == kFound; });
    QVERIFY(!shot.isNull());
    const int view = kNeedleAt + 1 - 10;
    for (int cell = 0; cell < 1600; ++cell) {
        const bool matched = cell >= 9 && cell < 15;
        const bool inFile = view + cell < kFileSize;
        QCOMPARE(cellColour(shot, cell), matched ? kFound : inFile ? kInFile : kPastEnd);
    }
    key(QStringLiteral("alt+a")); // C&ancel closes the dialog

    // Drag the thumb onto the down arrow box: the view ends at the last byte.
    focus(m_main);
    const QPoint bottom = clientPoint(654 + 12, 36 + 299 - 5);
    // The find left the thumb where view 1991 puts it: find it on the screen.
    shot = screenshot();
    int thumbRow = -1;
    for (int y = 36 + 18; y < 36 + 299 - 18 && thumbRow < 0; ++y) {
        // The thumb's third ring is the full background colour, the track's
        // dither never has two full-colour pixels side by side.
        const QColor a(shot.pixel(clientPoint(654 + 2, y))), b(shot.pixel(clientPoint(654 + 3, y)));
        if (a == kPastEnd && b == kPastEnd)
            thumbRow = y;
    }
    QVERIFY2(thumbRow > 0, "the thumb is visible on the scroll bar");
    const QPoint grip = clientPoint(654 + 12, thumbRow + 10);
    xdotool({QStringLiteral("mousemove"), QString::number(grip.x()), QString::number(grip.y()),
             QStringLiteral("mousedown"), QStringLiteral("1")});
    QTest::qWait(100);
    for (int y = grip.y(); y <= bottom.y(); y += 20) {
        xdotool({QStringLiteral("mousemove"), QString::number(grip.x()), QString::number(y)});
        QTest::qWait(30);
    }
    xdotool({QStringLiteral("mousemove"), QString::number(bottom.x()), QString::number(bottom.y()),
             QStringLiteral("mouseup"), QStringLiteral("1")});
    shot = screenshotWhen([this](const QImage &img) { return cellColour(img, 1) == kPastEnd; });
    QCOMPARE(cellColour(shot, 0), kInFile); // the last byte, 'Z', stands alone
    for (int cell = 1; cell < 1600; cell += 37)
        QCOMPARE(cellColour(shot, cell), kPastEnd);

    // Exit: the program ends at once.
    focus(m_main);
    key(QStringLiteral("alt+f"));
    key(QStringLiteral("x"));
    // The wait may already have seen it end while the keys were typed.
    QTRY_COMPARE_WITH_TIMEOUT(m_editor.state(), QProcess::NotRunning, 10000);
    QCOMPARE(m_editor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_editor.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
