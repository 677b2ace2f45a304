#include "ansi.h"
#include "findbox.h"
#include "findstep.h"
#include "hexconvert.h"
#include "mainmods.h"
#include "recordinghost.h"
#include "sparsefile.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QInputMethodEvent>
#include <QTemporaryDir>
#include <QTest>

class TestFindBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void tabOrderAndFonts();
    void hexToggle_data();
    void hexToggle();
    void hexKeyFilter_data();
    void hexKeyFilter();
    void typedHexIsSearchedAsBytes_data();
    void typedHexIsSearchedAsBytes();
    void everyByteValueThroughTheBox();
    void caseMatchBox();
    void enterAndEscapeDoNothing();
    void pastedNonHexIsKept();
    void characterWithoutByteIsRefused();
    void longTextRefusesHex();
    void cancelDiscardsTheBoxButNotTheSearch();
    void hugeFileIsSearchedBesideTheWindow();

private:
    QLineEdit *text1() { return m_box->findChild<QLineEdit *>("Text1"); }
    QCheckBox *check(const char *name) { return m_box->findChild<QCheckBox *>(name); }
    QPushButton *button(const char *name) { return m_box->findChild<QPushButton *>(name); }
    void typeInto(const QString &keys)
    {
        text1()->setFocus();
        // QTest::keyClicks() takes ASCII only; other characters arrive as
        // key events that carry only their text, as from an input method.
        for (QChar c : keys) {
            if (c.unicode() < 0x80)
                QTest::keyClick(text1(), char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, text1(), Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
        }
    }

    RecordingHost m_host;
    QWidget *m_owner = nullptr;
    QPointer<FindBox> m_box;
};

void TestFindBox::init()
{
    MainMods::LastFindText.clear();
    FindState::FindPos = 0;
    m_host = RecordingHost();
    setBuffer(3000, '.');
    m_owner = new QWidget;
    m_box = new FindBox(&m_host, m_owner);
    m_box->show();
    m_box->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_box));
}

void TestFindBox::cleanup()
{
    delete m_owner; // takes the box with it
}

void TestFindBox::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Text1") << "Text1" << QRect(80, 16, 193, 21) << "";
    QTest::newRow("Command2") << "Command2" << QRect(280, 12, 59, 25) << "&Find";
    QTest::newRow("Command3") << "Command3" << QRect(280, 39, 59, 25) << "C&ancel";
    QTest::newRow("Label1") << "Label1" << QRect(12, 16, 59, 14) << "Find What :";
    QTest::newRow("Check1") << "Check1" << QRect(80, 48, 101, 17) << "Case Match";
    QTest::newRow("Check2") << "Check2" << QRect(192, 48, 73, 14) << "Hex";
}

void TestFindBox::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QCOMPARE(m_box->windowTitle(), QStringLiteral("Find Binary Bytes..."));
    QCOMPARE(m_box->size(), QSize(343, 72));
    QCOMPARE(m_box->palette().color(QPalette::Window), QColor(192, 192, 255));
    QCOMPARE(m_box->parentWidget(), m_owner);
    QVERIFY(!m_box->isModal());

    QWidget *w = m_box->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), geometry);
    QString shown;
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        shown = b->text();
    else if (auto *l = qobject_cast<QLabel *>(w))
        shown = l->text();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        shown = e->text();
    QCOMPARE(shown, caption);
    if (auto *pb = qobject_cast<QPushButton *>(w)) {
        QVERIFY(!pb->isDefault());
        QVERIFY(!pb->autoDefault());
    }
}

void TestFindBox::tabOrderAndFonts()
{
    QWidget *expected[] = {text1(), button("Command2"), button("Command3"), check("Check1"),
                           check("Check2")};
    QWidget *w = expected[0];
    for (int i = 1; i < 5; ++i) {
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        QCOMPARE(w, expected[i]);
    }
    for (QWidget *control : expected) {
        QCOMPARE(control->font().bold(), control != button("Command3"));
        QCOMPARE(control->font().pointSizeF(), 8.25);
    }
}

void TestFindBox::hexToggle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("digits");
    QTest::newRow("Az") << "Az" << "417A";
    QTest::newRow("A and code 9") << QString("A\t") << "4109";
    QTest::newRow("code 0 and code 255") << QString(QChar(0)) + QChar(0xFF) << "00FF";
    QTest::newRow("euro sign") << QString(QChar(0x20AC)) << "80";
    QTest::newRow("empty") << "" << "";
}

// Setting Check2 from code runs Check2_Click both ways.
void TestFindBox::hexToggle()
{
    QFETCH(QString, text);
    QFETCH(QString, digits);
    text1()->setText(text);
    check("Check2")->setChecked(true);
    QCOMPARE(text1()->text(), digits);
    check("Check2")->setChecked(false);
    QCOMPARE(text1()->text(), text);
}

void TestFindBox::hexKeyFilter_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<bool>("committed"); // one input-method commit instead of keys
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("hex, digits and letters A-F") << true << false << "09afAF" << "09afAF";
    QTest::newRow("hex, colon refused") << true << false << "4:1" << "41";
    QTest::newRow("hex, G and g refused") << true << false << "GgA" << "A";
    QTest::newRow("hex, space and punctuation refused") << true << false << " .-+x" << "";
    QTest::newRow("hex, accented letter refused") << true << false << QString("\u00e9") << "";
    QTest::newRow("text, colon accepted") << false << false << "a:G" << "a:G";
    QTest::newRow("text, character with no byte refused") << false << false << QString("a\u4e2dz") << "az";
    QTest::newRow("hex, a commit filtered as keys") << true << true << QString("4:\u00e9g1") << "41";
    QTest::newRow("text, a composed letter kept") << false << true << QString("\u00e9") << QString("\u00e9");
    QTest::newRow("text, a commit's character with no byte refused") << false << true << QString("a\u4e2dz") << "az";
}

void TestFindBox::hexKeyFilter()
{
    QFETCH(bool, hex);
    QFETCH(bool, committed);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    check("Check2")->setChecked(hex);
    if (committed) {
        text1()->setFocus();
        QInputMethodEvent composing(QStringLiteral("\u00b4"), {});
        QApplication::sendEvent(text1(), &composing);
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(text1(), &commit);
    } else {
        typeInto(typed);
    }
    QCOMPARE(text1()->text(), shown);
    QCOMPARE(text1()->displayText(), shown); // no pre-edit left showing
}

void TestFindBox::typedHexIsSearchedAsBytes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0D0A") << "0D0A" << QByteArray("\r\n");
    QTest::newRow("zero byte") << "00" << QByteArray(1, '\0');
    QTest::newRow("zero between letters") << "410042" << QByteArray("A\0B", 3);
    QTest::newRow("odd digit") << "414" << QByteArray("A\4");
}

void TestFindBox::typedHexIsSearchedAsBytes()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    setBuffer(3000, '.', 2000, bytes);
    check("Check2")->setChecked(true);
    typeInto(typed);
    QTest::mouseClick(button("Command2"), Qt::LeftButton);

    QCOMPARE(MainMods::LastFindText, bytes);
    QVERIFY(!check("Check2")->isChecked());
    QCOMPARE(text1()->text(), Ansi::toString(bytes));
    QCOMPARE(m_host.value, 2000 - 9);
    QCOMPARE(m_host.redCells(), cellRange(9, int(bytes.size())));

    // Found again from the bytes kept for the box, not from what it displays.
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QCOMPARE(m_host.readouts, QStringList{FindStep::notFoundText()});
    QCOMPARE(MainMods::LastFindText, bytes);
}

void TestFindBox::everyByteValueThroughTheBox()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    setBuffer(3000, '.', 1000, all);
    check("Check2")->setChecked(true);
    typeInto(HexText::toHexDigits(all));
    button("Command2")->click();
    QCOMPARE(MainMods::LastFindText, all);
    QCOMPARE(m_host.value, 1000 - 9);
}

void TestFindBox::caseMatchBox()
{
    setBuffer(3000, '.', 40, "AB");
    typeInto("ab");
    check("Check1")->setChecked(true);
    button("Command2")->click();
    QCOMPARE(m_host.readouts, QStringList{FindStep::notFoundText()});
    check("Check1")->setChecked(false);
    button("Command2")->click();
    QCOMPARE(m_host.value, 31);
    QCOMPARE(m_host.redCells(), cellRange(9, 2));
}

void TestFindBox::enterAndEscapeDoNothing()
{
    setBuffer(3000, '.', 40, "AB");
    typeInto("AB");
    QTest::keyClick(text1(), Qt::Key_Return);
    QTest::keyClick(text1(), Qt::Key_Escape);
    QTest::keyClick(m_box, Qt::Key_Escape);
    QVERIFY(m_box && m_box->isVisible());
    QVERIFY(m_host.viewsSet.isEmpty());
    QVERIFY(MainMods::LastFindText.isEmpty());
    QCOMPARE(text1()->text(), QStringLiteral("AB"));
    // Alt+F is the Find button's access key; the button shows its press before clicking.
    QTest::keyClick(text1(), Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(MainMods::LastFindText, QByteArray("AB"));
}

// Pasting bypasses the key filter; on unticking, pieces that are not
// hexadecimal stay as they were.
void TestFindBox::pastedNonHexIsKept()
{
    check("Check2")->setChecked(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("zz41"));
    text1()->setFocus();
    QTest::keyClick(text1(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(text1()->text(), QStringLiteral("zz41"));
    check("Check2")->setChecked(false);
    QCOMPARE(text1()->text(), QStringLiteral("zzA"));
    setBuffer(3000, '.', 100, "zzA");
    button("Command2")->click();
    QCOMPARE(m_host.value, 91);
}

void TestFindBox::characterWithoutByteIsRefused()
{
    MainMods::LastFindText = "old";
    text1()->setText(QString("a\u4e2d"));
    check("Check2")->setChecked(true);
    QVERIFY(!check("Check2")->isChecked()); // no digits can spell it
    QCOMPARE(text1()->text(), QString("a\u4e2d"));
    button("Command2")->click();
    QCOMPARE(m_host.readouts, QStringList{FindBox::noByteText()});
    QCOMPARE(m_host.findsEnded, QList<int64_t>{-1});
    QCOMPARE(MainMods::LastFindText, QByteArray("old"));
    QVERIFY(m_host.viewsSet.isEmpty());
}

void TestFindBox::longTextRefusesHex()
{
    text1()->setText(QString(FindBox::kMaxHexBytes, 'a'));
    check("Check2")->setChecked(true);
    QCOMPARE(text1()->text().size(), 2 * FindBox::kMaxHexBytes);
    check("Check2")->setChecked(false);

    text1()->setText(QString(FindBox::kMaxHexBytes + 1, 'a'));
    check("Check2")->setChecked(true);
    QVERIFY(!check("Check2")->isChecked());
    QCOMPARE(text1()->text().size(), FindBox::kMaxHexBytes + 1);
    // The text is still searched in full.
    setBuffer(100000, '.', 50000, QByteArray(FindBox::kMaxHexBytes + 1, 'A'));
    button("Command2")->click();
    QCOMPARE(m_host.value, 50000 - 9);
}

void TestFindBox::cancelDiscardsTheBoxButNotTheSearch()
{
    setBuffer(3000, '.', 100, "AB");
    MainMods::ByteBuffer[700] = 'A';
    MainMods::ByteBuffer[701] = 'B';
    typeInto("AB");
    check("Check1")->setChecked(true);
    button("Command2")->click();
    QCOMPARE(m_host.value, 91);

    QTest::mouseClick(button("Command3"), Qt::LeftButton);
    QTRY_VERIFY(m_box.isNull());

    m_box = new FindBox(&m_host, m_owner);
    m_box->show();
    QCOMPARE(text1()->text(), QString());
    QVERIFY(!check("Check1")->isChecked());
    QVERIFY(!check("Check2")->isChecked());
    typeInto("AB");
    button("Command2")->click();
    QCOMPARE(m_host.value, 691); // continued after the first match
}

void TestFindBox::hugeFileIsSearchedBesideTheWindow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.bin"));
    QVERIFY(makeSparseFile(path, kHugeSize, hugeMarkers()));
    QVERIFY(MainMods::ByteBuffer.load(path).failure.isEmpty());
    QVERIFY(MainMods::ByteBuffer.size() == kHugeSize);

    // From a view shortly before the marker: Find returns at once, the
    // readout counts up, and the match arrives later on this thread.
    m_host.value = 3000000000 - (int64_t(40) << 20);
    check("Check2")->setChecked(true);
    typeInto(QStringLiteral("000044"));
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QVERIFY(m_host.viewsSet.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_host.viewsSet.isEmpty(), 60000);
    QCOMPARE(m_host.viewsSet, QList<int64_t>{FindStep::viewStartFor(3000000000 - 2)});
    QCOMPARE(m_host.redCells(), cellRange(FindStep::kLeadIn, 3));
    QVERIFY(!m_host.readouts.isEmpty() && m_host.readouts.first().endsWith(QLatin1Char('%')));
    QCOMPARE(FindState::FindPos, 3000000000 - 1);

    // A search of the whole file for bytes it does not hold, then Cancel:
    // the box closes and the search says nothing more.
    m_host.viewsSet.clear();
    m_host.readouts.clear();
    text1()->clear();
    typeInto(QStringLiteral("absent"));
    m_host.value = 0;
    QTest::mouseClick(button("Command2"), Qt::LeftButton);
    QTest::mouseClick(button("Command3"), Qt::LeftButton);
    QTRY_VERIFY(!m_box);
    QCoreApplication::processEvents();
    QVERIFY(m_host.viewsSet.isEmpty());
    QVERIFY(!m_host.readouts.contains(FindStep::notFoundText()));
    MainMods::ByteBuffer.allocate(3000);
}

QTEST_MAIN(TestFindBox)
#include "tst_findbox.moc"
