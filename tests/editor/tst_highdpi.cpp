// The grid and the scroll bar on a screen with more device pixels than the
// design's: CTest runs this at several ratios through QT_SCALE_FACTOR.
// Glyphs must be drawn at the device's resolution (not a 1x picture
// enlarged), every cell must land on its own device rectangle with gaps of
// one width all over the grid, and the scroll bar must stay crisp: only its
// own colours, no blended pixels.
#include "cellgrid.h"
#include "gridgeometry.h"
#include "realvscroll.h"
#include "scrollmodel.h"

#include <QSet>
#include <QtTest>
#include <cmath>

class tst_HighDpi : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cellsLandOnTheirDeviceRectangles_data();
    void cellsLandOnTheirDeviceRectangles();
    void gapsAreOneWidthEverywhere();
    void glyphsHaveDeviceDetail();
    void scrollBarIsCrisp();

private:
    qreal m_dpr = 1;
};

namespace {

const QColor kGap(192, 192, 255);

QImage grabbed(QWidget &w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

void tst_HighDpi::initTestCase()
{
    m_dpr = qApp->devicePixelRatio();
    if (m_dpr <= 1)
        QSKIP("run with QT_SCALE_FACTOR above 1");
}

void tst_HighDpi::cellsLandOnTheirDeviceRectangles_data()
{
    QTest::addColumn<int>("cell");
    QTest::newRow("cell 0, top left") << 0;
    QTest::newRow("cell 81, second row") << 81;
    QTest::newRow("cell 817, mid page") << 817;
    QTest::newRow("cell 1599, last") << 1599;
}

void tst_HighDpi::cellsLandOnTheirDeviceRectangles()
{
    QFETCH(int, cell);
    CellGrid grid;
    grid.setColors(0xFFFFFF, 0xFFC0C0);
    grid.setBackColor(cell, 0x0000FF); // red
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const QImage img = grabbed(grid);
    QCOMPARE(img.size(), GridGeometry::deviceRect(GridGeometry::area(), m_dpr).size());
    const QRect d = GridGeometry::deviceCellRect(cell, m_dpr);
    // The cell takes what the pitch leaves beside the whole-pixel gap.
    QVERIFY(std::abs(d.width() - 7 * m_dpr) <= 1 && std::abs(d.height() - 14 * m_dpr) <= 1);
    // Every device pixel of the cell is its colour, and the gap right of it
    // and below it shows the window's colour: nothing is shifted or smeared.
    for (int y = d.top(); y <= d.bottom(); ++y)
        for (int x = d.left(); x <= d.right(); ++x)
            QCOMPARE(QColor(img.pixel(x, y)), QColor(Qt::red));
    for (int y = d.top(); y <= d.bottom() + 1 && y < img.height(); ++y)
        QCOMPARE(QColor(img.pixel(d.right() + 1, y)), kGap);
    if (d.bottom() + 1 < img.height())
        for (int x = d.left(); x <= d.right(); ++x)
            QCOMPARE(QColor(img.pixel(x, d.bottom() + 1)), kGap);
    if (d.left() > 0)
        QCOMPARE(QColor(img.pixel(d.left() - 1, d.top())), kGap);
}

// Each edge rounded on its own gives gaps of one device pixel here and two
// there, so the grid's lines look uneven; one design pixel rounded once
// gives the same gap between every two rows and every two columns.
void tst_HighDpi::gapsAreOneWidthEverywhere()
{
    CellGrid grid;
    grid.setColors(0xFFFFFF, 0xFFC0C0);
    for (int i = 0; i < GridGeometry::kCells; ++i)
        grid.setBackColor(i, 0x0000FF);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const QImage img = grabbed(grid);
    // The widths of the gap-coloured runs between two cells, down the
    // column of cell 5 and along its row.
    const QPoint centre = GridGeometry::deviceCellRect(5, m_dpr).center();
    const auto gapRuns = [&img](QPoint p, QPoint step) {
        QList<int> runs;
        int run = 0;
        bool seenCell = false;
        for (; img.rect().contains(p); p += step) {
            if (QColor(img.pixel(p)) == kGap) {
                ++run;
                continue;
            }
            if (seenCell && run > 0)
                runs.append(run);
            seenCell = true;
            run = 0;
        }
        return runs;
    };
    const QList<int> rows = gapRuns(QPoint(centre.x(), 0), QPoint(0, 1));
    const QList<int> columns = gapRuns(QPoint(0, centre.y()), QPoint(1, 0));
    QCOMPARE(rows.size(), GridGeometry::kRows - 1);
    QCOMPARE(columns.size(), GridGeometry::kColumns - 1);
    const QSet<int> oneGap{int(std::lround(m_dpr))};
    QCOMPARE(QSet<int>(rows.cbegin(), rows.cend()), oneGap);
    QCOMPARE(QSet<int>(columns.cbegin(), columns.cend()), oneGap);
}

void tst_HighDpi::glyphsHaveDeviceDetail()
{
    // An enlarged 1x glyph gives every device pixel the colour of the design
    // pixel it samples, so all device pixels that sample one design pixel
    // agree. A glyph drawn at the device's resolution has edges inside them.
    CellGrid grid;
    const char glyphs[] = "W@gS";
    for (int i = 0; i < 4; ++i) {
        grid.setBackColor(i, 0xFF8080);
        grid.setCaption(i, glyphs[i]);
    }
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const QImage img = grabbed(grid);
    int splitDesignPixels = 0;
    for (int i = 0; i < 4; ++i) {
        const QRect d = GridGeometry::deviceCellRect(i, m_dpr);
        QHash<QPoint, QSet<QRgb>> bySource;
        for (int y = d.top(); y <= d.bottom(); ++y)
            for (int x = d.left(); x <= d.right(); ++x) {
                const QPoint source(int(std::floor((x + 0.5) / m_dpr)), int(std::floor((y + 0.5) / m_dpr)));
                bySource[source].insert(img.pixel(x, y));
            }
        for (const QSet<QRgb> &colours : std::as_const(bySource))
            splitDesignPixels += colours.size() > 1;
    }
    QVERIFY2(splitDesignPixels >= 4, qPrintable(QStringLiteral("only %1 design pixels show detail at ratio %2")
                                                    .arg(splitDesignPixels)
                                                    .arg(m_dpr)));
}

void tst_HighDpi::scrollBarIsCrisp()
{
    RealvScroll bar;
    bar.setBackColor(0xFFC0C0);
    bar.resize(25, 299);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const QImage img = grabbed(bar);
    QCOMPARE(img.size(), QSize(int(std::lround(25 * m_dpr)), int(std::lround(299 * m_dpr))));

    ScrollModel model;
    model.computeShades(0xFFC0C0);
    QSet<QRgb> allowed{qRgb(0, 0, 0), qRgb(192, 192, 255)};
    for (int n : {10, 11, 16, 18, 20}) {
        const uint32_t bgr = model.shade(n);
        allowed.insert(qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    }
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!allowed.contains(img.pixel(x, y)))
                QFAIL(qPrintable(QStringLiteral("blended pixel %1 at %2, %3")
                                     .arg(QColor(img.pixel(x, y)).name())
                                     .arg(x)
                                     .arg(y)));
    // The track's dither alternates by device pixel, not by enlarged blocks.
    const int y = img.height() * 3 / 4;
    for (int x = 4 * int(m_dpr) + 2; x < img.width() - 4 * int(m_dpr) - 2; ++x)
        QVERIFY2(img.pixel(x, y) != img.pixel(x + 1, y), "neighbouring track pixels alternate");
}

QTEST_MAIN(tst_HighDpi)
#include "tst_highdpi.moc"
