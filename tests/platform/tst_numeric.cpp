// Rounding to the even neighbour, checked conversions, the property store.
#include "numeric.h"
#include "propertybag.h"
#include "units.h"

#include <QtTest>

class tst_Numeric : public QObject
{
    Q_OBJECT
private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void checkedConversions();
    void twips();
    void propertyBagStoresOnlyWhatDiffers();
    void propertyBagRoundTripsEveryNameAndValue_data();
    void propertyBagRoundTripsEveryNameAndValue();
    void propertyBagReadsPlainLinesAsBefore();
};

void tst_Numeric::roundHalfEven_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("rounded");
    QTest::newRow("0.5 to 0") << 0.5 << 0.0;
    QTest::newRow("1.5 to 2") << 1.5 << 2.0;
    QTest::newRow("2.5 to 2") << 2.5 << 2.0;
    QTest::newRow("-2.5 to -2") << -2.5 << -2.0;
    QTest::newRow("-3.5 to -4") << -3.5 << -4.0;
    QTest::newRow("12.5 to 12") << 12.5 << 12.0;
    QTest::newRow("127.49999 to 127") << 127.49999999 << 127.0;
    QTest::newRow("140.25 to 140") << 140.25 << 140.0;
    QTest::newRow("2.6 to 3") << 2.6 << 3.0;
}

void tst_Numeric::roundHalfEven()
{
    QFETCH(double, x);
    QFETCH(double, rounded);
    QCOMPARE(Numeric::roundHalfEven(x), rounded);
}

void tst_Numeric::checkedConversions()
{
    QCOMPARE(Numeric::toIntChecked<int16_t>(32767.4), std::optional<int16_t>(32767));
    QVERIFY(!Numeric::toIntChecked<int16_t>(32767.6));
    QVERIFY(!Numeric::toIntChecked<int32_t>(std::numeric_limits<double>::infinity()));
    QVERIFY(!Numeric::toIntChecked<int32_t>(std::nan("")));
    QVERIFY(!Numeric::addChecked(std::numeric_limits<int32_t>::max(), 1));
    QVERIFY(!Numeric::subChecked(std::numeric_limits<int32_t>::min(), 1));
    QCOMPARE(Numeric::addChecked(5, -7), std::optional<int32_t>(-2));
}

void tst_Numeric::twips()
{
    QCOMPARE(Units::twipsToPixels(9810), 654);
    QCOMPARE(Units::twipsToPixels(105), 7);
    QCOMPARE(Units::twipsRect(9810, 540, 375, 4485), QRect(654, 36, 25, 299));
    QCOMPARE(Units::pixelsToTwips(660), 9900);
}

void tst_Numeric::propertyBagStoresOnlyWhatDiffers()
{
    PropertyBag bag;
    bag.WriteProperty(QStringLiteral("ValueMax"), 100, 100);
    QVERIFY(bag.isEmpty());
    bag.WriteProperty(QStringLiteral("ValueMax"), 30, 100);
    bag.WriteProperty(QStringLiteral("BackColor"), 0xFFC0C0, 0xFFFFFF);
    QCOMPARE(bag.ReadProperty(QStringLiteral("ValueMax"), 100).toInt(), 30);
    QCOMPARE(bag.ReadProperty(QStringLiteral("Value"), 0).toInt(), 0);
    // Writing the default again removes the name.
    bag.WriteProperty(QStringLiteral("ValueMax"), 100, 100);
    QVERIFY(!bag.contains(QStringLiteral("ValueMax")));
    // A stored design survives its text form.
    const PropertyBag back = PropertyBag::fromText(bag.toText());
    QCOMPARE(back.names(), QStringList{QStringLiteral("BackColor")});
    QCOMPARE(back.ReadProperty(QStringLiteral("BackColor"), 0).toInt(), 0xFFC0C0);
}

void tst_Numeric::propertyBagRoundTripsEveryNameAndValue_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("a line break in the value") << "Caption" << "1\nValueMax=99";
    QTest::newRow("a carriage return") << "Caption" << "a\rb\r";
    QTest::newRow("'=' in the name") << "a=b" << "=c=";
    QTest::newRow("a line break in the name") << "x\ny" << "v";
    QTest::newRow("space at both ends") << " name " << "  two spaces  ";
    QTest::newRow("tabs at both ends") << "\tname" << "v\t";
    QTest::newRow("backslashes and escape look-alikes") << "C:\\new\\s" << "\\n\\=\\\\";
    QTest::newRow("an empty value") << "Empty" << "";
}

void tst_Numeric::propertyBagRoundTripsEveryNameAndValue()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    PropertyBag bag;
    QVERIFY(bag.WriteProperty(name, value, QStringLiteral("default")));
    QVERIFY(bag.WriteProperty(QStringLiteral("Neighbour"), QStringLiteral("kept"), QString()));
    const PropertyBag back = PropertyBag::fromText(bag.toText());
    QCOMPARE(back.names(), bag.names());
    QCOMPARE(back.ReadProperty(name, QStringLiteral("missing")).toString(), value);
    QCOMPARE(back.ReadProperty(QStringLiteral("Neighbour"), QString()).toString(), QStringLiteral("kept"));
}

void tst_Numeric::propertyBagReadsPlainLinesAsBefore()
{
    PropertyBag bag;
    QVERIFY(!bag.WriteProperty(QString(), 1, 0));
    QVERIFY(bag.isEmpty());
    // A stored design as written before escapes existed, with a line whose
    // name is empty once trimmed, which no bag holds.
    const PropertyBag stored = PropertyBag::fromText(
        "BackColor=16761024\r\n ValueMax = 30 \n =x\nMouseIcon=bitmap:1,2,iVBORw0==\nPath=C:\\dir");
    QCOMPARE(stored.names(), (QStringList{"BackColor", "MouseIcon", "Path", "ValueMax"}));
    QCOMPARE(stored.ReadProperty("BackColor", 0).toString(), QStringLiteral("16761024"));
    QCOMPARE(stored.ReadProperty("ValueMax", 0).toString(), QStringLiteral("30"));
    QCOMPARE(stored.ReadProperty("MouseIcon", 0).toString(), QStringLiteral("bitmap:1,2,iVBORw0=="));
    QCOMPARE(stored.ReadProperty("Path", 0).toString(), QStringLiteral("C:\\dir"));
}

QTEST_GUILESS_MAIN(tst_Numeric)
#include "tst_numeric.moc"
