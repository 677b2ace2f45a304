// The ways the program ends. Once a Qt program has been asked to end, no
// event loop runs again in that process, so CTest runs each row in a process
// of its own (see CMakeLists.txt).
#include "hexdisplay.h"
#include "mainmods.h"

#include <QAction>
#include <QtTest>

class tst_ProgramEnd : public QObject
{
    Q_OBJECT
private slots:
    void ends_data();
    void ends();
};

void tst_ProgramEnd::ends_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("exit with the find window open") << 0;
    QTest::newRow("main window closed from its frame") << 1;
}

void tst_ProgramEnd::ends()
{
    QFETCH(int, way);
    HexDisplay window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    MainMods::ByteBuffer[0] = 1; // an unsaved edit asks no question
    QEventLoop loop;
    QTimer::singleShot(0, &window, [&window, way] {
        if (way == 0) {
            window.FindData_Click();
            window.ExitP()->trigger();
        } else {
            window.close();
        }
    });
    // -1 would mean the program was still running two seconds later.
    QTimer::singleShot(2000, &loop, [&loop] { loop.exit(-1); });
    QCOMPARE(loop.exec(), 0);
}

QTEST_MAIN(tst_ProgramEnd)
#include "tst_programend.moc"
