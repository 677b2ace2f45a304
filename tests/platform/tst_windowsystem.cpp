// The window-system layer against a private Xvfb: listing, captions, lookup,
// the polite close, and the ways an X server can let us down.
#include "helperwindow.h"
#include "windowsystem.h"
#include "xtestclient.h"
#include "xvfbserver.h"

#include <QGuiApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(std::string)

namespace {

// The listed windows that are among `ours`, in listed order.
std::vector<WindowId> onlyOurs(const std::vector<WindowId> &listed, const std::vector<WindowId> &ours)
{
    std::vector<WindowId> result;
    for (WindowId w : listed) {
        if (std::find(ours.begin(), ours.end(), w) != ours.end())
            result.push_back(w);
    }
    return result;
}

bool contains(const std::vector<WindowId> &windows, WindowId window)
{
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

} // namespace

class tst_WindowSystem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nullBackendHasNothing();
    void factoryGivesNullOnHeadlessPlatform();
    void connectFailsForMissingDisplay();

    void listsTopLevelWindowsInStackingOrder();
    void caption_data();
    void caption();
    void captionBoundTooSmall_data();
    void captionBoundTooSmall();
    void findByCaptionNeedsWholeCaption();
    void findByCaptionReturnsFirstOfTwins();

    void closeRequestReachesOtherProcess_data();
    void closeRequestReachesOtherProcess();
    void closeRequestIsDeleteWindowMessage();
    void closeWithoutProtocolAsksWindowManager();
    void reparentedClientIsListedAndClosed();
    void realReparentingWindowManager();

    void vanishedWindowIsNotThere();
    void frozenServerDoesNotHang();
    void serverThatGoesAwayDoesNotCrash();

private:
    XvfbServer m_server;
    QString m_skipReason;
    std::unique_ptr<XTestClient> m_client;
    std::unique_ptr<WindowSystem> m_windows;
};

void tst_WindowSystem::initTestCase()
{
    if (!m_server.start(&m_skipReason))
        qWarning("X11 cases will be skipped: %s", qPrintable(m_skipReason));
}

void tst_WindowSystem::init()
{
    // The cases that need no server say so by their name; the rest skip.
    const QByteArray name = QTest::currentTestFunction();
    if (name.startsWith("null") || name.startsWith("factory") || name.startsWith("connect"))
        return;
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    m_client = std::make_unique<XTestClient>(m_server.displayName());
    QVERIFY(m_client->isValid());
    m_windows = WindowSystem::connectX11(m_server.displayName().constData());
    QVERIFY(m_windows);
    QCOMPARE(m_windows->backendName(), "x11");
}

void tst_WindowSystem::cleanup()
{
    m_windows.reset();
    m_client.reset(); // its windows go with its connection
}

void tst_WindowSystem::nullBackendHasNothing()
{
    const auto windows = WindowSystem::createNull();
    QCOMPARE(windows->backendName(), "null");
    QVERIFY(windows->topLevelWindows().empty());
    QVERIFY(!windows->caption(1));
    QVERIFY(!windows->findByCaption("anything"));
    QVERIFY(!windows->requestClose(1));
    QVERIFY(!windows->exists(1));
}

void tst_WindowSystem::factoryGivesNullOnHeadlessPlatform()
{
    // This test runs on the offscreen platform: even with an X server named
    // in the environment there is no desktop to list.
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", m_skipReason.isEmpty() ? m_server.displayName() : QByteArray(":0"));
    const auto windows = WindowSystem::create();
    qputenv("DISPLAY", saved);
    QCOMPARE(windows->backendName(), "null");
}

void tst_WindowSystem::connectFailsForMissingDisplay()
{
    QVERIFY(!WindowSystem::connectX11(":9999"));
    QVERIFY(!WindowSystem::connectX11("not a display name"));
}

void tst_WindowSystem::listsTopLevelWindowsInStackingOrder()
{
    const WindowId a = m_client->createWindow();
    HelperWindow other;
    QVERIFY(other.start(m_server.display(), QStringLiteral("other process")));
    const WindowId b = m_client->createWindow();
    const WindowId child = m_client->createWindow(xcb_window_t(b));
    const WindowId c = m_client->createWindow();
    const std::vector<WindowId> ours{a, other.window(), b, c, child};

    // New windows go on top; the server lists bottom to top.
    QCOMPARE(onlyOurs(m_windows->topLevelWindows(), ours), (std::vector<WindowId>{a, other.window(), b, c}));

    m_client->raise(xcb_window_t(a));
    QCOMPARE(onlyOurs(m_windows->topLevelWindows(), ours), (std::vector<WindowId>{other.window(), b, c, a}));
}

void tst_WindowSystem::caption_data()
{
    QTest::addColumn<QByteArray>("netWmName");   // "" = property not set
    QTest::addColumn<QByteArray>("wmName");      // "" = property not set
    QTest::addColumn<QByteArray>("wmNameType");
    QTest::addColumn<int>("bound");
    QTest::addColumn<QString>("expected");

    const QByteArray utf8 = "UTF8_STRING";
    const QByteArray latin1 = "STRING";
    QTest::newRow("UTF-8 _NET_WM_NAME") << QByteArray("Gr\xc3\xbc\xc3\x9f Gott \xe2\x82\xac") << QByteArray()
                                        << latin1 << 255 << QStringLiteral("Grüß Gott €");
    QTest::newRow("_NET_WM_NAME wins over WM_NAME") << QByteArray("new name") << QByteArray("old name")
                                                    << latin1 << 255 << QStringLiteral("new name");
    QTest::newRow("WM_NAME as Latin-1 STRING") << QByteArray() << QByteArray("Caf\xe9") << latin1 << 255
                                               << QStringLiteral("Café");
    QTest::newRow("WM_NAME as UTF8_STRING") << QByteArray() << QByteArray("Caf\xc3\xa9") << utf8 << 255
                                            << QStringLiteral("Café");
    QTest::newRow("compound text escape dropped")
        << QByteArray() << QByteArray("\x1b-Aab\xe9") << QByteArray("COMPOUND_TEXT") << 255
        << QStringLiteral("abé");
    QTest::newRow("no caption at all") << QByteArray() << QByteArray() << latin1 << 255 << QString();
    QTest::newRow("invalid UTF-8 becomes replacement characters")
        << QByteArray("ab\xff\xfe" "cd") << QByteArray() << latin1 << 255
        << QStringLiteral("ab\uFFFD\uFFFDcd");
    QTest::newRow("caption ends at an embedded NUL") << QByteArray("first\0second", 12) << QByteArray()
                                                     << latin1 << 255 << QStringLiteral("first");
    QTest::newRow("300 characters cut to 254") << QByteArray(300, 'x') << QByteArray() << latin1 << 255
                                               << QString(254, QLatin1Char('x'));
    QTest::newRow("254 characters kept whole") << QByteArray(254, 'y') << QByteArray() << latin1 << 255
                                               << QString(254, QLatin1Char('y'));
    QTest::newRow("bound counts characters, not bytes")
        << QByteArray("\xc3\xa9").repeated(300) << QByteArray() << latin1 << 255
        << QString(254, QChar(0xe9));
    QTest::newRow("four-byte characters cut whole")
        << QByteArray("\xf0\x9f\x98\x80").repeated(10) << QByteArray() << latin1 << 4
        << QString::fromUtf8("\xf0\x9f\x98\x80").repeated(3);
}

void tst_WindowSystem::caption()
{
    QFETCH(QByteArray, netWmName);
    QFETCH(QByteArray, wmName);
    QFETCH(QByteArray, wmNameType);
    QFETCH(int, bound);
    QFETCH(QString, expected);

    const xcb_window_t window = m_client->createWindow();
    if (!netWmName.isEmpty())
        m_client->setNetWmName(window, netWmName);
    if (!wmName.isEmpty())
        m_client->setWmName(window, wmName, m_client->atom(wmNameType.constData()));

    const std::optional<std::string> caption = m_windows->caption(window, bound);
    QVERIFY(caption);
    QCOMPARE(QString::fromStdString(*caption), expected);
}

void tst_WindowSystem::captionBoundTooSmall_data()
{
    QTest::addColumn<int>("bound");
    QTest::newRow("room for the terminator only") << 1;
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -5;
}

void tst_WindowSystem::captionBoundTooSmall()
{
    QFETCH(int, bound);
    const xcb_window_t window = m_client->createWindow();
    m_client->setNetWmName(window, "caption");
    QCOMPARE(m_windows->caption(window, bound), std::optional<std::string>(std::string()));
}

void tst_WindowSystem::findByCaptionNeedsWholeCaption()
{
    const xcb_window_t shortOne = m_client->createWindow();
    m_client->setNetWmName(shortOne, "Notes");
    const xcb_window_t longOne = m_client->createWindow();
    const QByteArray longCaption(300, 'L');
    m_client->setNetWmName(longOne, longCaption);

    QCOMPARE(m_windows->findByCaption("Notes"), std::optional<WindowId>(shortOne));
    QVERIFY(!m_windows->findByCaption("Note"));
    QVERIFY(!m_windows->findByCaption("Notes "));
    QCOMPARE(m_windows->findByCaption(longCaption.toStdString()), std::optional<WindowId>(longOne));
    QVERIFY(!m_windows->findByCaption(longCaption.left(254).toStdString()));
}

void tst_WindowSystem::findByCaptionReturnsFirstOfTwins()
{
    const xcb_window_t first = m_client->createWindow();
    m_client->setNetWmName(first, "Twin");
    const xcb_window_t second = m_client->createWindow();
    m_client->setNetWmName(second, "Twin");
    QCOMPARE(m_windows->findByCaption("Twin"), std::optional<WindowId>(first));
}

void tst_WindowSystem::closeRequestReachesOtherProcess_data()
{
    QTest::addColumn<bool>("ignoreClose");
    QTest::newRow("owner accepts and closes") << false;
    QTest::newRow("owner ignores and stays") << true;
}

void tst_WindowSystem::closeRequestReachesOtherProcess()
{
    QFETCH(bool, ignoreClose);
    HelperWindow other;
    QVERIFY(other.start(m_server.display(), QStringLiteral("closable"), ignoreClose));

    QVERIFY(m_windows->requestClose(other.window()));
    QVERIFY(other.waitForDelete(5000));
    if (ignoreClose) {
        QVERIFY(other.isRunning());
        QVERIFY(m_windows->exists(other.window()));
    } else {
        QVERIFY(other.waitForExit(5000));
        QTRY_VERIFY(!m_windows->exists(other.window()));
    }
}

void tst_WindowSystem::closeRequestIsDeleteWindowMessage()
{
    const xcb_window_t window = m_client->createWindow();
    m_client->setDeleteProtocol(window);
    QVERIFY(m_windows->requestClose(window));

    const auto message = m_client->waitForClientMessage(5000);
    QVERIFY(message);
    QCOMPARE(message->window, window);
    QCOMPARE(message->format, uint8_t(32));
    QCOMPARE(message->type, m_client->atom("WM_PROTOCOLS"));
    QCOMPARE(message->data.data32[0], m_client->atom("WM_DELETE_WINDOW"));
    // A request is only a request: the window is still there.
    QVERIFY(m_windows->exists(window));
}

void tst_WindowSystem::closeWithoutProtocolAsksWindowManager()
{
    QVERIFY(m_client->becomeWindowManager());
    const xcb_window_t window = m_client->createWindow();

    QVERIFY(m_windows->requestClose(window));
    const auto message = m_client->waitForClientMessage(5000);
    QVERIFY(message);
    QCOMPARE(message->type, m_client->atom("_NET_CLOSE_WINDOW"));
    QCOMPARE(message->window, window);
}

void tst_WindowSystem::reparentedClientIsListedAndClosed()
{
    // What a reparenting window manager leaves: a bare frame on the root
    // with the client, which carries WM_STATE, inside a decoration window.
    const xcb_window_t frame = m_client->createWindow();
    m_client->setNetWmName(frame, "frame title");
    const xcb_window_t decoration = m_client->createWindow(frame);
    const xcb_window_t client = m_client->createWindow(decoration);
    m_client->setNetWmName(client, "Client caption");
    m_client->setDeleteProtocol(client);
    m_client->setWmState(client);

    const std::vector<WindowId> listed = m_windows->topLevelWindows();
    QVERIFY(contains(listed, client));
    QVERIFY(!contains(listed, frame));
    QCOMPARE(m_windows->caption(client), std::optional<std::string>("Client caption"));
    QCOMPARE(m_windows->findByCaption("Client caption"), std::optional<WindowId>(client));

    // Asked to close the frame, the client gets the request.
    QVERIFY(m_windows->requestClose(frame));
    const auto message = m_client->waitForClientMessage(5000);
    QVERIFY(message);
    QCOMPARE(message->window, client);
    QCOMPARE(message->data.data32[0], m_client->atom("WM_DELETE_WINDOW"));
}

void tst_WindowSystem::realReparentingWindowManager()
{
    // twm frames every mapped window; it is rarely installed, so this case
    // runs where it is and the one above stands in for it elsewhere.
    const QString twm = QStandardPaths::findExecutable(QStringLiteral("twm"));
    if (twm.isEmpty())
        QSKIP("twm (a reparenting window manager) is not installed");
    XvfbServer server;
    QString why;
    if (!server.start(&why))
        QSKIP(qPrintable(why));
    // Placed without asking the user, with the one font every X server has.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile config(dir.filePath(QStringLiteral("twmrc")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    QVERIFY(config.write("RandomPlacement\nTitleFont \"fixed\"\nMenuFont \"fixed\"\n"
                         "IconFont \"fixed\"\nResizeFont \"fixed\"\nIconManagerFont \"fixed\"\n")
            > 0);
    config.close();

    QProcess manager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), server.display());
    manager.setProcessEnvironment(environment);
    manager.setStandardOutputFile(QProcess::nullDevice());
    manager.setStandardErrorFile(QProcess::nullDevice());
    manager.start(twm, {QStringLiteral("-f"), config.fileName()});
    QVERIFY(manager.waitForStarted(5000));
    if (manager.waitForFinished(1000))
        QSKIP("twm left at once (it needs the X core font \"fixed\", from xfonts-base)");

    XTestClient client(server.displayName());
    HelperWindow framed;
    QVERIFY(framed.start(server.display(), QStringLiteral("Framed client"), false, true));
    QTRY_VERIFY_WITH_TIMEOUT(client.parentOf(framed.window()) != client.root(), 10000);

    const auto windows = WindowSystem::connectX11(server.displayName().constData());
    QVERIFY(windows);
    QVERIFY(contains(windows->topLevelWindows(), framed.window()));
    QCOMPARE(windows->findByCaption("Framed client"), std::optional<WindowId>(framed.window()));
    QVERIFY(windows->requestClose(framed.window()));
    QVERIFY(framed.waitForDelete(5000));
    QVERIFY(framed.waitForExit(5000));

    manager.terminate();
    if (!manager.waitForFinished(3000))
        manager.kill();
}

void tst_WindowSystem::vanishedWindowIsNotThere()
{
    const xcb_window_t window = m_client->createWindow();
    m_client->setNetWmName(window, "short-lived");
    m_client->setDeleteProtocol(window);
    QVERIFY(m_windows->exists(window));
    m_client->destroy(window);

    QVERIFY(!m_windows->exists(window));
    QVERIFY(!m_windows->caption(window));
    QVERIFY(!m_windows->requestClose(window));
    QVERIFY(!contains(m_windows->topLevelWindows(), window));
    QVERIFY(!m_windows->findByCaption("short-lived"));

    for (WindowId bogus : {WindowId(0), WindowId(0x1'0000'0001ull), WindowId(0x7fffffff)}) {
        QVERIFY(!m_windows->exists(bogus));
        QVERIFY(!m_windows->caption(bogus));
        QVERIFY(!m_windows->requestClose(bogus));
    }
}

void tst_WindowSystem::frozenServerDoesNotHang()
{
    const xcb_window_t window = m_client->createWindow();
    m_client->setNetWmName(window, "still here");

    m_server.pause();
    // Every call gives up instead of waiting forever.
    QVERIFY(m_windows->topLevelWindows().empty());
    m_server.resume();

    // Once the server answers again, so do we.
    QTRY_VERIFY(contains(m_windows->topLevelWindows(), window));
    QCOMPARE(m_windows->caption(window), std::optional<std::string>("still here"));
}

void tst_WindowSystem::serverThatGoesAwayDoesNotCrash()
{
    XvfbServer doomed;
    QString why;
    if (!doomed.start(&why))
        QSKIP(qPrintable(why));
    XTestClient client(doomed.displayName());
    const xcb_window_t window = client.createWindow();
    client.setNetWmName(window, "doomed");
    client.setDeleteProtocol(window);
    const auto windows = WindowSystem::connectX11(doomed.displayName().constData());
    QVERIFY(windows);
    QVERIFY(contains(windows->topLevelWindows(), window));

    doomed.stop();
    QVERIFY(windows->topLevelWindows().empty());
    QVERIFY(!windows->caption(window));
    QVERIFY(!windows->findByCaption("doomed"));
    QVERIFY(!windows->requestClose(window));
    QVERIFY(!windows->exists(window));
}

QTEST_MAIN(tst_WindowSystem)
#include "tst_windowsystem.moc"
