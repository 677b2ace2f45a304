// The window-system layer on Qt's own xcb connection: the factory picks it
// when Qt runs on xcb, it lists the program's own windows like any other, and
// a close request to our own dialog goes through Qt's event handling. The test
// starts its own Xvfb before Qt starts, so it has its own main().
#include "runningapps.h"
#include "windowsystem.h"
#include "xvfbserver.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>

class tst_WindowSystemQt : public QObject
{
    Q_OBJECT

public:
    explicit tst_WindowSystemQt(QString skipReason) : m_skipReason(std::move(skipReason)) {}

private slots:
    void init();
    void factoryUsesQtConnection();
    void manyWindowsListedOnQtConnection();
    void dialogClosesItself();

private:
    QString m_skipReason;
};

void tst_WindowSystemQt::init()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
}

void tst_WindowSystemQt::factoryUsesQtConnection()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Our own window"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const auto windows = WindowSystem::create();
    QCOMPARE(windows->backendName(), "x11");
    const std::optional<WindowId> found = windows->findByCaption("Our own window");
    QVERIFY(found);
    QCOMPARE(*found, WindowId(window.winId()));
}

void tst_WindowSystemQt::manyWindowsListedOnQtConnection()
{
    // Qt's event thread reads the socket too; replies must still be picked
    // up, for every window.
    std::vector<std::unique_ptr<QWidget>> widgets;
    for (int i = 0; i < 60; ++i) {
        auto widget = std::make_unique<QWidget>();
        widget->setWindowTitle(QStringLiteral("Window %1").arg(i));
        widget->winId(); // a native window, never shown
        widgets.push_back(std::move(widget));
    }
    const auto windows = WindowSystem::create();
    const std::vector<WindowId> listed = windows->topLevelWindows();
    for (const auto &widget : widgets) {
        const WindowId id = widget->winId();
        QVERIFY(std::find(listed.begin(), listed.end(), id) != listed.end());
        QCOMPARE(windows->caption(id), std::optional<std::string>(widget->windowTitle().toStdString()));
    }
}

void tst_WindowSystemQt::dialogClosesItself()
{
    const auto windows = WindowSystem::create();
    RunningApps dialog(*windows);
    // Listed by the first filling, before it is even shown.
    const auto own = dialog.List1()->findItems(dialog.windowTitle(), Qt::MatchExactly);
    QCOMPARE(own.size(), 1);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    own.front()->setSelected(true);
    dialog.Command1()->click();
    QTRY_VERIFY(!dialog.isVisible());
}

int main(int argc, char **argv)
{
    XvfbServer server;
    QString skipReason;
    if (server.start(&skipReason)) {
        qputenv("DISPLAY", server.displayName());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tst_WindowSystemQt test(skipReason);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowsystem_qt.moc"
