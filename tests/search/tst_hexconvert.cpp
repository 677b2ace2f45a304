#include "ansi.h"
#include "hexconvert.h"

#include <QTest>

class TestHexConvert : public QObject
{
    Q_OBJECT

private slots:
    void everyByteRoundTrips();
    void fromHexDigits_data();
    void fromHexDigits();
    void hexKeys();
};

void TestHexConvert::everyByteRoundTrips()
{
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        const QString digits = HexText::toHexDigits(one);
        QCOMPARE(digits, QString::asprintf("%02X", b));
        const QString text = HexText::fromHexDigits(digits);
        QCOMPARE(text, Ansi::toString(one));
        QCOMPARE(Ansi::fromString(text), std::optional<QByteArray>(one));
        QCOMPARE(HexText::fromHexDigits(digits.toLower()), text);
    }
}

void TestHexConvert::fromHexDigits_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("text");
    QTest::newRow("lower-case digits") << "417a" << "Az";
    QTest::newRow("odd digit is a piece of its own") << "414" << QString("A") + QChar(4);
    QTest::newRow("A and code 9") << "4109" << QString("A\t");
    QTest::newRow("zero byte") << "0041" << QString(QChar(0)) + "A";
    QTest::newRow("code page high half") << "809F" << QString(QChar(0x20AC)) + QChar(0x178);
    QTest::newRow("pasted letters kept") << "zz41" << "zzA";
    QTest::newRow("half-valid piece kept") << "4g41" << "4gA";
    QTest::newRow("odd non-digit kept") << "41:" << "A:";
    QTest::newRow("empty") << "" << "";
}

void TestHexConvert::fromHexDigits()
{
    QFETCH(QString, digits);
    QFETCH(QString, text);
    QCOMPARE(HexText::fromHexDigits(digits), text);
}

void TestHexConvert::hexKeys()
{
    QString accepted;
    for (int k = 0; k < 256; ++k)
        if (HexText::isHexKey(k))
            accepted += k == 8 ? QChar('~') : QChar(k);
    QCOMPARE(accepted, QStringLiteral("~0123456789ABCDEFabcdef"));
}

QTEST_GUILESS_MAIN(TestHexConvert)
#include "tst_hexconvert.moc"
