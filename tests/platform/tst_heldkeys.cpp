// The release filter for window systems that report a held key as
// release/press pairs: what reaches a widget for each sequence of key events.
#include "heldkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

namespace {

// One key event: 'P' press or 'R' release, the key's scan code, the server's
// timestamp, and Qt's own repeat flag.
struct Key {
    char type;
    quint32 scanCode;
    ulong time;
    bool flagged = false;
};

class Recorder : public QWidget
{
public:
    QString seen; // "P40 R40 ..." in the order delivered
protected:
    void keyPressEvent(QKeyEvent *e) override { note('P', e); }
    void keyReleaseEvent(QKeyEvent *e) override { note('R', e); }
private:
    void note(char type, const QKeyEvent *e)
    {
        seen += QStringLiteral("%1%2 ").arg(QLatin1Char(type)).arg(e->nativeScanCode());
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<Key>)

class tst_HeldKeys : public QObject
{
    Q_OBJECT
private slots:
    void heldKeyIsOnePressAndOneRelease_data();
    void heldKeyIsOnePressAndOneRelease();
};

void tst_HeldKeys::heldKeyIsOnePressAndOneRelease_data()
{
    QTest::addColumn<QList<Key>>("events");
    QTest::addColumn<QString>("seen");
    QTest::newRow("unflagged repeat pairs are dropped, the last release arrives")
        << QList<Key>{{'P', 40, 1}, {'R', 40, 700}, {'P', 40, 700}, {'R', 40, 740}, {'P', 40, 740}, {'R', 40, 760}}
        << "P40 P40 P40 R40 ";
    QTest::newRow("pairs Qt flagged itself pass as they are")
        << QList<Key>{{'P', 40, 1}, {'R', 40, 700, true}, {'P', 40, 700, true}, {'R', 40, 760}}
        << "P40 R40 P40 R40 ";
    QTest::newRow("a real release and a new press of the same key both count")
        << QList<Key>{{'P', 40, 1}, {'R', 40, 80}, {'P', 40, 95}, {'R', 40, 150}} << "P40 R40 P40 R40 ";
    QTest::newRow("another key's press comes after the held release")
        << QList<Key>{{'P', 40, 1}, {'R', 40, 80}, {'P', 41, 80}, {'R', 41, 90}} << "P40 R40 P41 R41 ";
}

void tst_HeldKeys::heldKeyIsOnePressAndOneRelease()
{
    QFETCH(QList<Key>, events);
    QFETCH(QString, seen);
    QObject owner;
    HeldKeys::install(&owner);
    Recorder widget;
    for (const Key &k : events) {
        QKeyEvent e(k.type == 'P' ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier,
                    k.scanCode, 0, 0, QString(), k.flagged);
        e.setTimestamp(k.time);
        QApplication::sendEvent(&widget, &e);
    }
    QTRY_COMPARE(widget.seen, seen);
}

QTEST_MAIN(tst_HeldKeys)
#include "tst_heldkeys.moc"
