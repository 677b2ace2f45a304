// The Wayland backend against a private headless sway: the listing in the
// order the compositor announced the windows, titles, lookup, windows that
// have gone, and compositors that stop answering, go away or keep their
// toplevels to themselves (close requests to other processes are checked
// through the dialog in tst_runningapps). Qt itself runs on the same sway where
// its Wayland plugin is installed, so that the factory's choice and the
// dialog's own window are checked too; the test therefore has its own main().
#include "helperwindow.h"
#include "runningapps.h"
#include "swayserver.h"
#include "windowsystem.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <wayland-server.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

bool contains(const std::vector<WindowId> &windows, WindowId window)
{
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

// A compositor that offers no globals at all: to a client that asks for
// foreign-toplevel management it looks like GNOME or KDE Plasma do.
class BareCompositor
{
public:
    ~BareCompositor()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_display)
            wl_display_destroy(m_display);
    }

    bool start(const QByteArray &path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (std::size_t(path.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_display = wl_display_create();
        if (fd < 0 || !m_display || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(fd, 8) != 0 || wl_display_add_socket_fd(m_display, fd) != 0) {
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        m_thread = std::thread([this] {
            wl_event_loop *loop = wl_display_get_event_loop(m_display);
            while (!m_stop) {
                wl_event_loop_dispatch(loop, 20);
                wl_display_flush_clients(m_display);
            }
        });
        return true;
    }

private:
    wl_display *m_display = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

// Sets an environment variable (or removes it, for an empty value) for the
// life of the object.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnvironment() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class tst_WindowSystemWayland : public QObject
{
    Q_OBJECT

public:
    tst_WindowSystemWayland(SwayServer &sway, QString skipReason)
        : m_sway(sway), m_skipReason(std::move(skipReason))
    {
    }

private slots:
    void init();
    void cleanup();

    void connectFailsWithoutCompositorOrProtocol();
    void listsWindowsInAnnouncedOrder();
    void caption_data();
    void caption();
    void findByCaptionNeedsWholeTitle();
    void closedWindowIsNotThere();
    void frozenCompositorDoesNotHang();
    void compositorThatGoesAwayDoesNotCrash();

    void factoryFollowsTheCompositor_data();
    void factoryFollowsTheCompositor();
    void dialogListsAndClosesItself();

private:
    // Starts helpers with these titles, one after the other, and returns
    // their windows in the same order; nothing when one fails.
    std::vector<WindowId> open(const QStringList &titles);

    SwayServer &m_sway;
    QString m_skipReason;
    std::unique_ptr<WindowSystem> m_windows;
    std::vector<std::unique_ptr<HelperWindow>> m_helpers;
};

void tst_WindowSystemWayland::init()
{
    if (QByteArray(QTest::currentTestFunction()).startsWith("connect"))
        return; // needs no sway
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    m_windows = WindowSystem::connectWayland(m_sway.socketName().constData());
    QVERIFY(m_windows);
    QCOMPARE(m_windows->backendName(), "wayland");
    // The windows of the case before may take a moment to go.
    QTRY_VERIFY(m_windows->topLevelWindows().empty());
}

void tst_WindowSystemWayland::cleanup()
{
    m_helpers.clear();
    m_windows.reset();
}

std::vector<WindowId> tst_WindowSystemWayland::open(const QStringList &titles)
{
    const std::size_t before = m_windows->topLevelWindows().size();
    for (int i = 0; i < titles.size(); ++i) {
        auto helper = std::make_unique<HelperWindow>();
        if (!helper->startWayland(m_sway.socket(), titles[i]))
            return {};
        m_helpers.push_back(std::move(helper));
    }
    const std::vector<WindowId> listed = m_windows->topLevelWindows();
    if (listed.size() != before + std::size_t(titles.size()))
        return {};
    return std::vector<WindowId>(listed.end() - titles.size(), listed.end());
}

void tst_WindowSystemWayland::connectFailsWithoutCompositorOrProtocol()
{
    QVERIFY(!WindowSystem::connectWayland("/nonexistent/wayland-socket"));
    QTemporaryDir dir;
    BareCompositor bare;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("bare")));
    QVERIFY(bare.start(path));
    QVERIFY(!WindowSystem::connectWayland(path.constData()));
}

void tst_WindowSystemWayland::listsWindowsInAnnouncedOrder()
{
    const std::vector<WindowId> windows = open({"Zeta", "Alpha", "Mid"});
    QCOMPARE(windows.size(), std::size_t(3));
    QCOMPARE(m_windows->topLevelWindows(), windows);

    // A window that goes leaves the others in their order, and a newcomer
    // comes last under a number never used before.
    m_helpers[1]->quit();
    QTRY_VERIFY(!m_windows->exists(windows[1]));
    const std::vector<WindowId> newcomer = open({"Newcomer"});
    QCOMPARE(newcomer.size(), std::size_t(1));
    QVERIFY(!contains(windows, newcomer.front()));
    QCOMPARE(m_windows->topLevelWindows(), (std::vector<WindowId>{windows[0], windows[2], newcomer.front()}));
    QCOMPARE(m_windows->caption(newcomer.front()), std::optional<std::string>("Newcomer"));
}

void tst_WindowSystemWayland::caption_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("bound");
    QTest::addColumn<QString>("expected");

    QTest::newRow("accents and the euro sign") << QStringLiteral("Grüß Gott €") << 255
                                               << QStringLiteral("Grüß Gott €");
    QTest::newRow("no title at all") << QString() << 255 << QString();
    QTest::newRow("300 characters cut to 254") << QString(300, 'x') << 255 << QString(254, 'x');
    QTest::newRow("254 characters kept whole") << QString(254, 'y') << 255 << QString(254, 'y');
    QTest::newRow("bound counts characters, not bytes") << QString(300, QChar(0xe9)) << 255
                                                        << QString(254, QChar(0xe9));
    QTest::newRow("four-byte characters cut whole") << QStringLiteral("😀").repeated(10) << 4
                                                    << QStringLiteral("😀").repeated(3);
    QTest::newRow("room for the terminator only") << QStringLiteral("title") << 1 << QString();
    QTest::newRow("negative bound") << QStringLiteral("title") << -5 << QString();
}

void tst_WindowSystemWayland::caption()
{
    QFETCH(QString, title);
    QFETCH(int, bound);
    QFETCH(QString, expected);
    const std::vector<WindowId> windows = open({title});
    QCOMPARE(windows.size(), std::size_t(1));
    QCOMPARE(m_windows->caption(windows.front(), bound), std::optional<std::string>(expected.toStdString()));
}

void tst_WindowSystemWayland::findByCaptionNeedsWholeTitle()
{
    const QString longTitle(300, 'L');
    const std::vector<WindowId> windows = open({"Notes", "Twin", "Twin", longTitle});
    QCOMPARE(windows.size(), std::size_t(4));

    QCOMPARE(m_windows->findByCaption("Notes"), std::optional<WindowId>(windows[0]));
    QVERIFY(!m_windows->findByCaption("Note"));
    QVERIFY(!m_windows->findByCaption("Notes "));
    QCOMPARE(m_windows->findByCaption("Twin"), std::optional<WindowId>(windows[1]));
    QCOMPARE(m_windows->findByCaption(longTitle.toStdString()), std::optional<WindowId>(windows[3]));
    QVERIFY(!m_windows->findByCaption(longTitle.left(254).toStdString()));
}

void tst_WindowSystemWayland::closedWindowIsNotThere()
{
    const std::vector<WindowId> windows = open({"short-lived"});
    QCOMPARE(windows.size(), std::size_t(1));
    m_helpers.front()->quit();

    QTRY_VERIFY(!m_windows->exists(windows.front()));
    QVERIFY(!m_windows->caption(windows.front()));
    QVERIFY(!m_windows->requestClose(windows.front()));
    QVERIFY(!contains(m_windows->topLevelWindows(), windows.front()));
    QVERIFY(!m_windows->findByCaption("short-lived"));
    for (WindowId bogus : {WindowId(0), WindowId(0x7fffffff), ~WindowId(0)}) {
        QVERIFY(!m_windows->exists(bogus));
        QVERIFY(!m_windows->caption(bogus));
        QVERIFY(!m_windows->requestClose(bogus));
    }
}

void tst_WindowSystemWayland::frozenCompositorDoesNotHang()
{
    const std::vector<WindowId> windows = open({"still here"});
    QCOMPARE(windows.size(), std::size_t(1));

    m_sway.pause();
    // The call gives up instead of waiting forever.
    const bool empty = m_windows->topLevelWindows().empty();
    m_sway.resume();
    QVERIFY(empty);

    // Once the compositor answers again, so do we.
    QTRY_COMPARE(m_windows->topLevelWindows(), windows);
    QCOMPARE(m_windows->caption(windows.front()), std::optional<std::string>("still here"));
}

void tst_WindowSystemWayland::compositorThatGoesAwayDoesNotCrash()
{
    SwayServer doomed;
    QString why;
    if (!doomed.start(&why))
        QSKIP(qPrintable(why));
    HelperWindow helper;
    QVERIFY(helper.startWayland(doomed.socket(), QStringLiteral("doomed")));
    const auto windows = WindowSystem::connectWayland(doomed.socketName().constData());
    QVERIFY(windows);
    const std::vector<WindowId> listed = windows->topLevelWindows();
    QCOMPARE(listed.size(), std::size_t(1));

    doomed.stop();
    QVERIFY(windows->topLevelWindows().empty());
    QVERIFY(!windows->caption(listed.front()));
    QVERIFY(!windows->findByCaption("doomed"));
    QVERIFY(!windows->requestClose(listed.front()));
    QVERIFY(!windows->exists(listed.front()));
}

void tst_WindowSystemWayland::factoryFollowsTheCompositor_data()
{
    QTest::addColumn<bool>("listsToplevels");
    QTest::addColumn<bool>("xServer");
    QTest::addColumn<QByteArray>("backend");
    QTest::newRow("compositor lists its toplevels") << true << true << QByteArray("wayland");
    QTest::newRow("compositor keeps them to itself, XWayland there") << false << true << QByteArray("x11");
    QTest::newRow("compositor keeps them to itself, no X server") << false << false << QByteArray("null");
}

void tst_WindowSystemWayland::factoryFollowsTheCompositor()
{
    QFETCH(bool, listsToplevels);
    QFETCH(bool, xServer);
    QFETCH(QByteArray, backend);
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        QSKIP("Qt's Wayland platform plugin is not installed");

    QTemporaryDir dir;
    BareCompositor bare;
    const QByteArray barePath = QFile::encodeName(dir.filePath(QStringLiteral("bare")));
    if (!listsToplevels)
        QVERIFY(bare.start(barePath));
    XvfbServer xvfb;
    QString why;
    if (xServer && !xvfb.start(&why))
        QSKIP(qPrintable(why));

    const ScopedEnvironment wayland("WAYLAND_DISPLAY", listsToplevels ? m_sway.socketName() : barePath);
    const ScopedEnvironment display("DISPLAY", xServer ? xvfb.displayName() : QByteArray());
    QCOMPARE(QByteArray(WindowSystem::create()->backendName()), backend);
}

void tst_WindowSystemWayland::dialogListsAndClosesItself()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        QSKIP("Qt's Wayland platform plugin is not installed");
    const auto windows = WindowSystem::create();
    QCOMPARE(windows->backendName(), "wayland");
    RunningApps dialog(*windows);
    // On Wayland a window that was never shown is no toplevel yet.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_COMPARE((dialog.Form_Load(), dialog.List1()->findItems(dialog.windowTitle(), Qt::MatchExactly).size()),
                 1);
    dialog.List1()->findItems(dialog.windowTitle(), Qt::MatchExactly).front()->setSelected(true);
    dialog.Command1()->click();
    QTRY_VERIFY(!dialog.isVisible());
}

int main(int argc, char **argv)
{
    SwayServer sway;
    QString skipReason;
    if (sway.start(&skipReason)) {
        qputenv("WAYLAND_DISPLAY", sway.socketName());
        // Qt joins the same compositor where it can, else runs headless.
        qputenv("QT_QPA_PLATFORM", "wayland;offscreen");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tst_WindowSystemWayland test(sway, skipReason);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowsystem_wayland.moc"
