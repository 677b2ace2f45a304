// The running-windows dialog: its look, its list, and what a press of
// "Close Selected Programs" sends where. The X11 cases run it against a
// private Xvfb, the Wayland case against a private headless sway, with
// windows owned by other processes.
#include "captiontext.h"
#include "fakewindowsystem.h"
#include "runningapps.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#if defined(VELTRANO_TEST_X11) || defined(VELTRANO_TEST_WAYLAND)
#include "helperwindow.h"
#endif
#ifdef VELTRANO_TEST_X11
#include "xtestclient.h"
#include "xvfbserver.h"
#endif
#ifdef VELTRANO_TEST_WAYLAND
#include "swayserver.h"
#endif

namespace {

QStringList rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Selects a row the way the user does: a click on it.
void clickRow(QListWidget *list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class tst_RunningApps : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void loadListsCaptionsInOrder();
    void closeSendsToSelectedWindows_data();
    void closeSendsToSelectedWindows();
    void clicksToggleSelection();
    void captionsShowEveryCharacterOnOneRow_data();
    void captionsShowEveryCharacterOnOneRow();

    void x11TwinsBothClose();
    void x11OwnerDecides();
    void x11WindowGoneBeforeCloseIsSkipped();

    void waylandClosesExactlyTheChosen();
};

void tst_RunningApps::layout()
{
    FakeWindowSystem windows;
    RunningApps dialog(windows);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Applications Running on Windows..."));
    QCOMPARE(dialog.size(), QSize(312, 206));
    QVERIFY(dialog.minimumSize() == dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!dialog.parentWidget());
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(192, 192, 255));
    QVERIFY(dialog.autoFillBackground());
    QVERIFY(!dialog.windowIcon().pixmap(32, 32).isNull());

    QCOMPARE(dialog.font().family(), QStringLiteral("Arial"));
    QCOMPARE(dialog.font().pointSizeF(), 8.25);
    QVERIFY(!dialog.font().bold() && !dialog.font().italic());

    QCOMPARE(dialog.Command1()->text(), QStringLiteral("Close Selected Programs"));
    QCOMPARE(dialog.Command1()->geometry(), QRect(8, 8, 161, 25));
    QCOMPARE(dialog.Command1()->toolTip(),
             QStringLiteral("WARNING, Closing a system application may crash windows... "));
    QCOMPARE(dialog.List1()->geometry(), QRect(8, 40, 289, 158));
    QVERIFY(!dialog.List1()->isSortingEnabled());
    QCOMPARE(dialog.List1()->selectionMode(), QAbstractItemView::MultiSelection);
    QCOMPARE(dialog.Command1()->nextInFocusChain(), static_cast<QWidget *>(dialog.List1()));
}

void tst_RunningApps::loadListsCaptionsInOrder()
{
    FakeWindowSystem windows;
    windows.windows = {{9, "Zebra"}, {2, ""}, {3, "Apple"}, {4, "Apple"}};
    RunningApps dialog(windows);
    QCOMPARE(rows(dialog.List1()), (QStringList{"Zebra", "Apple", "Apple"}));
    QVERIFY(windows.closeRequests.empty());
}

void tst_RunningApps::closeSendsToSelectedWindows_data()
{
    QTest::addColumn<QList<int>>("selectedRows");
    QTest::addColumn<std::vector<WindowId>>("requests");

    QTest::newRow("nothing selected only rebuilds") << QList<int>{} << std::vector<WindowId>{};
    QTest::newRow("both twins, each its own window") << QList<int>{1, 2} << std::vector<WindowId>{20, 30};
    QTest::newRow("second twin only") << QList<int>{2} << std::vector<WindowId>{30};
    QTest::newRow("cut caption") << QList<int>{3} << std::vector<WindowId>{40};
    QTest::newRow("all, in list order") << QList<int>{3, 0, 2, 1}
                                        << std::vector<WindowId>{10, 20, 30, 40};
}

void tst_RunningApps::closeSendsToSelectedWindows()
{
    QFETCH(QList<int>, selectedRows);
    QFETCH(std::vector<WindowId>, requests);

    FakeWindowSystem windows;
    windows.windows = {{10, "Editor"}, {20, "Twin"}, {30, "Twin"}, {40, QString(300, 'L')}};
    RunningApps dialog(windows);
    for (int row : selectedRows)
        dialog.List1()->item(row)->setSelected(true);

    // A window opened since the list was read shows up after the press.
    windows.windows.push_back({50, "Newcomer"});
    QTest::mouseClick(dialog.Command1(), Qt::LeftButton);

    QCOMPARE(windows.closeRequests, requests);
    QCOMPARE(dialog.List1()->count(), 5);
    QCOMPARE(dialog.List1()->item(4)->text(), QStringLiteral("Newcomer"));
    QVERIFY(dialog.List1()->selectedItems().isEmpty());
}

void tst_RunningApps::captionsShowEveryCharacterOnOneRow_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain text, a path and accents as given")
        << QStringLiteral("C:\\notes\\caf\u00e9 - Editor") << QStringLiteral("C:\\notes\\caf\u00e9 - Editor");
    QTest::newRow("newline, return and tab") << QStringLiteral("a\nb\r\tc") << QStringLiteral("a\\nb\\r\\tc");
    QTest::newRow("other C0, DEL and C1 controls")
        << QStringLiteral("x\u0001\u001b\u007f\u0085y") << QStringLiteral("x<U+0001><U+001B><U+007F><U+0085>y");
    QTest::newRow("right-to-left override cannot flip a name")
        << QStringLiteral("report\u202Etxt.exe") << QStringLiteral("report<U+202E>txt.exe");
    QTest::newRow("every bidirectional control")
        << QStringLiteral("\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069\u200E\u200F\u061C")
        << QStringLiteral("<U+202A><U+202B><U+202C><U+202D><U+2066><U+2067><U+2068><U+2069><U+200E><U+200F><U+061C>");
    QTest::newRow("line and paragraph separators") << QStringLiteral("a\u2028b\u2029c")
                                                   << QStringLiteral("a<U+2028>b<U+2029>c");
}

void tst_RunningApps::captionsShowEveryCharacterOnOneRow()
{
    QFETCH(QString, caption);
    QFETCH(QString, shown);
    QCOMPARE(CaptionText::visible(caption), shown);

    // The dialog shows the escaped caption, and closing it still reaches
    // the window it was read from, not one whose caption looks alike.
    FakeWindowSystem windows;
    windows.windows = {{5, shown}, {7, caption}};
    RunningApps dialog(windows);
    QCOMPARE(dialog.List1()->item(1)->text(), shown);
    dialog.List1()->item(1)->setSelected(true);
    QTest::mouseClick(dialog.Command1(), Qt::LeftButton);
    QCOMPARE(windows.closeRequests, std::vector<WindowId>{7});
}

void tst_RunningApps::clicksToggleSelection()
{
    FakeWindowSystem windows;
    windows.windows = {{1, "One"}, {2, "Two"}, {3, "Three"}};
    RunningApps dialog(windows);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    clickRow(dialog.List1(), 0);
    clickRow(dialog.List1(), 2);
    clickRow(dialog.List1(), 1);
    clickRow(dialog.List1(), 1); // a second click takes it back
    dialog.Command1()->click();
    QCOMPARE(windows.closeRequests, (std::vector<WindowId>{1, 3}));
}

#ifdef VELTRANO_TEST_X11

// A private X server and a window system on it, or a skip.
#define START_X11(server, windows)                                                      \
    XvfbServer server;                                                                 \
    {                                                                                  \
        QString why;                                                                   \
        if (!server.start(&why))                                                       \
            QSKIP(qPrintable(why));                                                    \
    }                                                                                  \
    const std::unique_ptr<WindowSystem> windows =                                      \
        WindowSystem::connectX11(server.displayName().constData());                    \
    QVERIFY(windows)

void tst_RunningApps::x11TwinsBothClose()
{
    START_X11(server, windows);
    HelperWindow first, second, bystander;
    QVERIFY(first.start(server.display(), QStringLiteral("Same Caption")));
    QVERIFY(second.start(server.display(), QStringLiteral("Same Caption")));
    QVERIFY(bystander.start(server.display(), QStringLiteral("Bystander")));

    RunningApps dialog(*windows);
    QCOMPARE(rows(dialog.List1()),
             (QStringList{"Same Caption", "Same Caption", "Bystander"}));
    dialog.List1()->item(0)->setSelected(true);
    dialog.List1()->item(1)->setSelected(true);
    dialog.Command1()->click();

    QVERIFY(first.waitForDelete(5000));
    QVERIFY(second.waitForDelete(5000));
    QVERIFY(first.waitForExit(5000));
    QVERIFY(second.waitForExit(5000));
    QVERIFY(bystander.isRunning());
    QVERIFY(!bystander.waitForDelete(200));

    // Requests are only queued: the next filling shows what has gone by then.
    QTRY_COMPARE((dialog.Form_Load(), rows(dialog.List1())), QStringList{"Bystander"});
}

void tst_RunningApps::x11OwnerDecides()
{
    START_X11(server, windows);
    HelperWindow stubborn;
    QVERIFY(stubborn.start(server.display(), QStringLiteral("Stubborn"), true));

    RunningApps dialog(*windows);
    QCOMPARE(rows(dialog.List1()), QStringList{"Stubborn"});
    dialog.List1()->item(0)->setSelected(true);
    dialog.Command1()->click();

    QVERIFY(stubborn.waitForDelete(5000));
    QVERIFY(stubborn.isRunning());
    QCOMPARE(rows(dialog.List1()), QStringList{"Stubborn"});
}

void tst_RunningApps::x11WindowGoneBeforeCloseIsSkipped()
{
    START_X11(server, windows);
    XTestClient client(server.displayName());
    QVERIFY(client.isValid());
    const xcb_window_t doomed = client.createWindow();
    client.setNetWmName(doomed, "Doomed");
    client.setDeleteProtocol(doomed);
    HelperWindow survivor;
    QVERIFY(survivor.start(server.display(), QStringLiteral("Closes")));

    RunningApps dialog(*windows);
    QCOMPARE(rows(dialog.List1()), (QStringList{"Doomed", "Closes"}));
    dialog.List1()->item(0)->setSelected(true);
    dialog.List1()->item(1)->setSelected(true);
    client.destroy(doomed);
    dialog.Command1()->click();

    QVERIFY(survivor.waitForDelete(5000));
    QVERIFY(!client.waitForClientMessage(200));
    QTRY_COMPARE((dialog.Form_Load(), dialog.List1()->count()), 0);
}

#else

void tst_RunningApps::x11TwinsBothClose() { QSKIP("built without xcb"); }
void tst_RunningApps::x11OwnerDecides() { QSKIP("built without xcb"); }
void tst_RunningApps::x11WindowGoneBeforeCloseIsSkipped() { QSKIP("built without xcb"); }

#endif

#ifdef VELTRANO_TEST_WAYLAND

void tst_RunningApps::waylandClosesExactlyTheChosen()
{
    SwayServer sway;
    QString why;
    if (!sway.start(&why))
        QSKIP(qPrintable(why));
    const std::unique_ptr<WindowSystem> windows = WindowSystem::connectWayland(sway.socketName().constData());
    QVERIFY(windows);

    struct Opened
    {
        QString title;
        bool chosen;
        bool stubborn;
    };
    const QString longTitle = QString(254, QLatin1Char('W')) + QStringLiteral("cut off");
    const std::vector<Opened> opened{
        {QStringLiteral("Café crème – Übersicht"), true, false},
        {longTitle, true, false},
        {QStringLiteral("Twin"), false, false},
        {QStringLiteral("Twin"), true, false},
        {QStringLiteral("Stubborn"), true, true},
        {QStringLiteral("Tab\there"), false, false},
    };
    std::vector<std::unique_ptr<HelperWindow>> helpers;
    for (const Opened &window : opened) {
        helpers.push_back(std::make_unique<HelperWindow>());
        QVERIFY(helpers.back()->startWayland(sway.socket(), window.title, window.stubborn));
    }

    RunningApps dialog(*windows);
    const QStringList shown{QStringLiteral("Café crème – Übersicht"), longTitle.left(254), "Twin", "Twin",
                            "Stubborn", "Tab\\there"};
    QCOMPARE(rows(dialog.List1()), shown);
    for (std::size_t i = 0; i < opened.size(); ++i)
        dialog.List1()->item(int(i))->setSelected(opened[i].chosen);
    dialog.Command1()->click();

    QStringList staying;
    for (std::size_t i = 0; i < opened.size(); ++i) {
        HelperWindow &helper = *helpers[i];
        if (!opened[i].chosen) {
            QVERIFY(!helper.waitForDelete(100));
            staying << shown[int(i)];
            continue;
        }
        QVERIFY(helper.waitForDelete(5000));
        if (opened[i].stubborn) {
            QVERIFY(helper.isRunning());
            staying << shown[int(i)];
        } else {
            QVERIFY(helper.waitForExit(5000));
        }
    }
    // Requests are only queued: the next filling shows what has gone by then.
    QTRY_COMPARE((dialog.Form_Load(), rows(dialog.List1())), staying);
}

#else

void tst_RunningApps::waylandClosesExactlyTheChosen() { QSKIP("built without Wayland"); }

#endif

QTEST_MAIN(tst_RunningApps)
#include "tst_runningapps.moc"
