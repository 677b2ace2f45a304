// The code page: every byte has a character and comes back from it, the
// five undefined codes included, and the upper-case mapping folds exactly the
// letters that have a capital in the page.
#include "ansi.h"

#include <QtTest>

class tst_Ansi : public QObject
{
    Q_OBJECT
private slots:
    void everyByteRoundTrips();
    void knownCharacters_data();
    void knownCharacters();
    void charactersWithoutCode();
    void upperCase_data();
    void upperCase();
    void upperCaseAgreesWithUnicodeWherePossible();
};

void tst_Ansi::everyByteRoundTrips()
{
    for (int b = 0; b < 256; ++b) {
        const QChar c = Ansi::toChar(uint8_t(b));
        const auto back = Ansi::fromChar(c);
        QVERIFY2(back.has_value(), qPrintable(QString::number(b)));
        QCOMPARE(int(*back), b);
    }
}

void tst_Ansi::knownCharacters_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("unicode");
    QTest::newRow("NUL") << 0x00 << 0x0000;
    QTest::newRow("A") << 0x41 << 0x0041;
    QTest::newRow("euro sign") << 0x80 << 0x20AC;
    QTest::newRow("undefined 0x81 as C1 control") << 0x81 << 0x0081;
    QTest::newRow("S caron") << 0x8A << 0x0160;
    QTest::newRow("trade mark") << 0x99 << 0x2122;
    QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
    QTest::newRow("no-break space") << 0xA0 << 0x00A0;
    QTest::newRow("y diaeresis") << 0xFF << 0x00FF;
}

void tst_Ansi::knownCharacters()
{
    QFETCH(int, byte);
    QFETCH(int, unicode);
    QCOMPARE(int(Ansi::toChar(uint8_t(byte)).unicode()), unicode);
}

void tst_Ansi::charactersWithoutCode()
{
    QVERIFY(!Ansi::fromChar(QChar(0x03A9)).has_value()); // Greek Omega
    QVERIFY(!Ansi::fromChar(QChar(0x0100)).has_value());
    QVERIFY(!Ansi::fromString(QStringLiteral("ab\u4E2D")).has_value());
    QCOMPARE(*Ansi::fromString(QStringLiteral("A\u20AC\u00FF")), QByteArray("A\x80\xFF"));
    QCOMPARE(Ansi::toString(QByteArray("A\x80\0", 3)), QStringLiteral("A\u20AC") + QChar(0));
}

void tst_Ansi::upperCase_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("upper");
    QTest::newRow("a") << int('a') << int('A');
    QTest::newRow("z") << int('z') << int('Z');
    QTest::newRow("A stays") << int('A') << int('A');
    QTest::newRow("digit stays") << int('7') << int('7');
    QTest::newRow("s caron") << 0x9A << 0x8A;
    QTest::newRow("oe") << 0x9C << 0x8C;
    QTest::newRow("z caron") << 0x9E << 0x8E;
    QTest::newRow("y diaeresis") << 0xFF << 0x9F;
    QTest::newRow("a grave") << 0xE0 << 0xC0;
    QTest::newRow("division sign stays") << 0xF7 << 0xF7;
    QTest::newRow("sharp s stays") << 0xDF << 0xDF;
    QTest::newRow("micro sign stays") << 0xB5 << 0xB5;
}

void tst_Ansi::upperCase()
{
    QFETCH(int, byte);
    QFETCH(int, upper);
    QCOMPARE(int(Ansi::toUpper(uint8_t(byte))), upper);
}

void tst_Ansi::upperCaseAgreesWithUnicodeWherePossible()
{
    // Where Unicode's capital of a character is in the page, the table gives
    // it; elsewhere the byte maps to itself.
    for (int b = 0; b < 256; ++b) {
        const QChar c = Ansi::toChar(uint8_t(b));
        const QString up = QString(c).toUpper();
        const auto code = up.size() == 1 ? Ansi::fromChar(up.at(0)) : std::nullopt;
        const int expected = code ? int(*code) : b;
        QCOMPARE(int(Ansi::toUpper(uint8_t(b))), expected);
    }
}

QTEST_GUILESS_MAIN(tst_Ansi)
#include "tst_ansi.moc"
