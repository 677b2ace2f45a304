// The grid's geometry and its drawing: every point maps to the right cell,
// and a cell shows its background and its glyph where the cell stands.
#include "cellgrid.h"
#include "gridgeometry.h"

#include <QSignalSpy>
#include <QtTest>

class tst_CellGrid : public QObject
{
    Q_OBJECT
private slots:
    void cellAt_data();
    void cellAt();
    void everyCellRoundTrips();
    void drawsBackgroundAndGlyph();
    void clickNeedsPressAndReleaseOnOneCell();
};

void tst_CellGrid::cellAt_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("cell");
    QTest::newRow("first cell, corner") << QPoint(0, 0) << 0;
    QTest::newRow("first cell, far corner") << QPoint(6, 13) << 0;
    QTest::newRow("gap right of cell 0") << QPoint(7, 5) << -1;
    QTest::newRow("gap below cell 0") << QPoint(3, 14) << -1;
    QTest::newRow("cell 1") << QPoint(8, 0) << 1;
    QTest::newRow("cell 80, second row") << QPoint(0, 15) << 80;
    QTest::newRow("cell 1599, last") << QPoint(79 * 8 + 6, 19 * 15 + 13) << 1599;
    QTest::newRow("right of the grid") << QPoint(640, 0) << -1;
    QTest::newRow("below the grid") << QPoint(0, 300) << -1;
    QTest::newRow("left of the grid") << QPoint(-1, 0) << -1;
}

void tst_CellGrid::cellAt()
{
    QFETCH(QPoint, point);
    QFETCH(int, cell);
    QCOMPARE(GridGeometry::cellAt(point), cell);
}

void tst_CellGrid::everyCellRoundTrips()
{
    for (int i = 0; i < GridGeometry::kCells; ++i) {
        const QRect r = GridGeometry::cellRect(i);
        QCOMPARE(GridGeometry::cellAt(r.topLeft()), i);
        QCOMPARE(GridGeometry::cellAt(r.bottomRight()), i);
    }
    // The grid in client coordinates sits at 120, 540 twips.
    QCOMPARE(GridGeometry::cellClientRect(0), QRect(8, 36, 7, 14));
    QCOMPARE(GridGeometry::cellClientRect(1599), QRect(8 + 79 * 8, 36 + 19 * 15, 7, 14));
}

void tst_CellGrid::drawsBackgroundAndGlyph()
{
    CellGrid grid;
    grid.setColors(0xFFFFFF, 0xFFC0C0);
    grid.setBackColor(0, 0x0000FF); // red
    grid.setCaption(0, 'W');
    grid.setBackColor(1, 0xFF8080);
    grid.setCaption(1, CellGrid::kNoCaption);
    const QImage img = grid.grab().toImage();
    // Cell 1 is empty: its background everywhere.
    const QRect r1 = GridGeometry::cellRect(1);
    for (int y = r1.top(); y <= r1.bottom(); ++y)
        for (int x = r1.left(); x <= r1.right(); ++x)
            QCOMPARE(QColor(img.pixel(x, y)), QColor(128, 128, 255));
    // Cell 0 is red with a white glyph somewhere in it.
    const QRect r0 = GridGeometry::cellRect(0);
    int white = 0, red = 0;
    for (int y = r0.top(); y <= r0.bottom(); ++y)
        for (int x = r0.left(); x <= r0.right(); ++x) {
            const QColor c(img.pixel(x, y));
            white += c.green() > 150; // the white glyph, antialiased on red
            red += c == QColor(255, 0, 0);
        }
    QVERIFY2(white > 3, "the glyph W is drawn in the cell's text colour");
    QVERIFY(red > 40);
    // A zero byte draws nothing: the cell looks empty, in its colour.
    grid.setCaption(2, 0);
    grid.setBackColor(2, 0xFF8080);
    const QImage zero = grid.grab().toImage();
    const QRect r2 = GridGeometry::cellRect(2);
    for (int y = r2.top(); y <= r2.bottom(); ++y)
        for (int x = r2.left(); x <= r2.right(); ++x)
            QCOMPARE(QColor(zero.pixel(x, y)), QColor(128, 128, 255));
    // The gap between cells shows the window's colour.
    QCOMPARE(QColor(img.pixel(7, 0)), QColor(192, 192, 255));
}

void tst_CellGrid::clickNeedsPressAndReleaseOnOneCell()
{
    CellGrid grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QSignalSpy clicked(&grid, &CellGrid::cellClicked);
    QTest::mouseClick(&grid, Qt::LeftButton, {}, GridGeometry::cellRect(81).center());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 81);
    QTest::mousePress(&grid, Qt::LeftButton, {}, GridGeometry::cellRect(2).center());
    QTest::mouseRelease(&grid, Qt::LeftButton, {}, GridGeometry::cellRect(3).center());
    QTest::mouseClick(&grid, Qt::RightButton, {}, GridGeometry::cellRect(4).center());
    QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(7, 3)); // a gap
    QCOMPARE(clicked.size(), 1);
}

QTEST_MAIN(tst_CellGrid)
#include "tst_cellgrid.moc"
