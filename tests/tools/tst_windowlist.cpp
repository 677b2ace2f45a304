// The window-list routines: what gets listed, and that a close
// reaches exactly the chosen window.
#include "fakewindowsystem.h"
#include "windowlist.h"

#include <QTest>

using MainMods::WindowEntry;
using Windows = std::vector<FakeWindowSystem::Window>;
using Entries = QList<WindowEntry>;

Q_DECLARE_METATYPE(Windows)

namespace QTest {
template <>
char *toString(const WindowEntry &entry)
{
    return qstrdup(qPrintable(QStringLiteral("{%1, \"%2\"}").arg(entry.Window).arg(entry.Caption)));
}
} // namespace QTest

class tst_WindowList : public QObject
{
    Q_OBJECT

private slots:
    void listWindowCaptions_data();
    void listWindowCaptions();
    void closeReachesOnlyTheChosenWindow_data();
    void closeReachesOnlyTheChosenWindow();
};

void tst_WindowList::listWindowCaptions_data()
{
    QTest::addColumn<Windows>("desktop");
    QTest::addColumn<Entries>("expected");

    QTest::newRow("platform order kept, not sorted")
        << Windows{{7, "Zeta"}, {3, "Alpha"}, {9, "Mid"}}
        << Entries{{7, "Zeta"}, {3, "Alpha"}, {9, "Mid"}};
    QTest::newRow("window without caption left out")
        << Windows{{1, "One"}, {2, ""}, {3, "Three"}} << Entries{{1, "One"}, {3, "Three"}};
    QTest::newRow("twins listed once each, each with its own window")
        << Windows{{4, "Twin"}, {5, "Twin"}} << Entries{{4, "Twin"}, {5, "Twin"}};
    QTest::newRow("window gone between listing and reading left out")
        << Windows{{1, "Stays"}, {2, "Goes", true}} << Entries{{1, "Stays"}};
    QTest::newRow("300 characters cut to the first 254")
        << Windows{{1, QString(254, 'a') + QString(46, 'b')}} << Entries{{1, QString(254, 'a')}};
    QTest::newRow("254 characters kept whole")
        << Windows{{1, QString(254, 'c')}} << Entries{{1, QString(254, 'c')}};
    QTest::newRow("empty desktop") << Windows{} << Entries{};
}

void tst_WindowList::listWindowCaptions()
{
    QFETCH(Windows, desktop);
    QFETCH(Entries, expected);
    FakeWindowSystem windows;
    windows.windows = desktop;
    QCOMPARE(MainMods::ListWindowCaptions(windows), expected);
}

void tst_WindowList::closeReachesOnlyTheChosenWindow_data()
{
    QTest::addColumn<Windows>("desktop");
    QTest::addColumn<WindowEntry>("chosen");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<std::vector<WindowId>>("requests");

    const Windows twins{{4, "Twin"}, {5, "Twin"}};
    QTest::newRow("second of two twins") << twins << WindowEntry{5, "Twin"} << true
                                         << std::vector<WindowId>{5};
    QTest::newRow("first of two twins") << twins << WindowEntry{4, "Twin"} << true
                                        << std::vector<WindowId>{4};
    // The list shows the cut caption; no lookup by text could find the window.
    QTest::newRow("caption cut in the list") << Windows{{1, QString(300, 'x')}}
                                             << WindowEntry{1, QString(254, 'x')} << true
                                             << std::vector<WindowId>{1};
    QTest::newRow("window gone since listing skipped") << Windows{{1, "Gone", true}, {2, "Gone"}}
                                                       << WindowEntry{1, "Gone"} << false
                                                       << std::vector<WindowId>{};
    QTest::newRow("window renamed since listing still closed")
        << Windows{{1, "Report.txt - Notes*"}} << WindowEntry{1, "Report.txt - Notes"} << true
        << std::vector<WindowId>{1};
}

void tst_WindowList::closeReachesOnlyTheChosenWindow()
{
    QFETCH(Windows, desktop);
    QFETCH(WindowEntry, chosen);
    QFETCH(bool, sent);
    QFETCH(std::vector<WindowId>, requests);
    FakeWindowSystem windows;
    windows.windows = desktop;
    QCOMPARE(MainMods::CloseWindowByCaption(windows, chosen), sent);
    QCOMPARE(windows.closeRequests, requests);
}

QTEST_GUILESS_MAIN(tst_WindowList)
#include "tst_windowlist.moc"
