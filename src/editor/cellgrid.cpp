#include "cellgrid.h"

#include "ansi.h"
#include "cellgridaccessible.h"
#include "gridgeometry.h"
#include "inputcodes.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cstring>

namespace {
using namespace GridGeometry;

constexpr int kEmptyTile = 256;
constexpr int kTileCount = 257;

QRgb toRgb(uint32_t bgr)
{
    return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

} // namespace

CellGrid::CellGrid(QWidget *parent)
    : QWidget(parent)
{
    CellGridAccessible::install();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(area().size());
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(8.25);
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);
    rebuildPage(devicePixelRatioF());
}

void CellGrid::setColors(uint32_t foreBgr, uint32_t gapBgr)
{
    m_fore = foreBgr;
    m_gap = gapBgr;
    rebuildPage(m_page.devicePixelRatio());
}

// Every tile and every cell again, at the given ratio.
void CellGrid::rebuildPage(qreal dpr)
{
    m_tiles.clear();
    m_tileSize = deviceCellSize(dpr);
    const QRect device = deviceRect(QRect(QPoint(0, 0), area().size()), dpr);
    m_page = QImage(device.size(), QImage::Format_RGB32);
    m_page.setDevicePixelRatio(dpr);
    m_page.fill(toRgb(m_gap));
    for (int i = 0; i < kCells; ++i)
        m_deviceCells[i] = deviceCellRect(i, dpr);
    for (int i = 0; i < kCells; ++i)
        drawCell(i);
    update();
}

QString CellGrid::cellName(int cell) const
{
    if (cell < 0 || cell >= kCells || !m_cellNamer)
        return QString();
    return m_cellNamer(cell);
}

void CellGrid::setSelectedCell(int cell)
{
    if (cell < -1 || cell >= kCells || cell == m_selectedCell)
        return;
    const int previous = m_selectedCell;
    m_selectedCell = cell;
    CellGridAccessible::announceSelection(this, previous);
}

void CellGrid::pressCell(int cell)
{
    if (cell >= 0 && cell < kCells)
        emit cellClicked(cell);
}

void CellGrid::setCaption(int cell, int glyph)
{
    if (cell < 0 || cell >= kCells)
        return;
    if (m_cells[cell].glyph == glyph)
        return;
    m_cells[cell].glyph = static_cast<int16_t>(glyph);
    drawCell(cell);
}

void CellGrid::setBackColor(int cell, uint32_t bgr)
{
    if (cell < 0 || cell >= kCells)
        return;
    bgr &= 0xFFFFFF;
    if (m_cells[cell].bgr == bgr)
        return;
    m_cells[cell].bgr = bgr;
    drawCell(cell);
}

void CellGrid::drawCell(int cell)
{
    const Cell &c = m_cells[cell];
    const uint32_t *src = tile(c.bgr, c.glyph);
    // The cell with the gaps right of it and below it: its device pixels,
    // rounded on their own, may reach into them.
    const QRect r = cellRect(cell).adjusted(0, 0, 1, 1);
    // The tile is drawn from its top-left corner; a cell that rounds to fewer
    // device pixels takes the part that fits, as a label cuts its caption.
    const QRect d = m_deviceCells[cell];
    const int width = std::min(d.width(), m_tileSize.width());
    const int height = std::min(d.height(), m_tileSize.height());
    const qsizetype stride = m_page.bytesPerLine();
    uchar *dst = m_page.bits() + d.y() * stride + d.x() * 4;
    for (int y = 0; y < height; ++y, dst += stride, src += m_tileSize.width())
        std::memcpy(dst, src, std::size_t(width) * 4);
    // One growing rectangle rather than a region of up to 1600 pieces: the
    // region arithmetic would cost more than the drawing. A cell inside the
    // rectangle already asked for is covered by that request.
    if (!m_dirty.contains(r)) {
        m_dirty = m_dirty.united(r);
        update(m_dirty);
    }
}

const uint32_t *CellGrid::tile(uint32_t bgr, int glyph)
{
    const int index = glyph < 0 ? kEmptyTile : glyph;
    TileSet &set = m_tiles[bgr];
    const std::size_t tilePixels = std::size_t(m_tileSize.width()) * m_tileSize.height();
    if (set.pixels.empty()) {
        set.pixels.assign(kTileCount * tilePixels, 0);
        set.ready.assign(kTileCount, false);
    }
    if (!set.ready[index]) {
        renderTile(set, bgr, index);
        set.ready[index] = true;
    }
    return set.pixels.data() + std::size_t(index) * tilePixels;
}

void CellGrid::renderTile(TileSet &set, uint32_t bgr, int index)
{
    // Rendered at the page's ratio: the painter works in the design's pixels,
    // the font is rasterised in device pixels.
    QImage img(m_tileSize, QImage::Format_RGB32);
    img.setDevicePixelRatio(m_page.devicePixelRatio());
    img.fill(toRgb(bgr));
    const QChar ch = index == kEmptyTile ? QChar() : Ansi::toChar(static_cast<uint8_t>(index));
    // Control codes and characters the font lacks show as an empty-looking
    // cell rather than a replacement box, so a run of zero bytes reads as blank.
    const bool drawable = index != kEmptyTile && ch.category() != QChar::Other_Control
        && QFontMetrics(font()).inFont(ch);
    if (drawable) {
        QPainter p(&img);
        p.setFont(font());
        p.setPen(QColor(toRgb(m_fore)));
        // A label draws its caption from the top-left corner; a glyph wider
        // than the cell is cut at the cell's edge, as a label's would be.
        p.drawText(QRect(0, 0, kCellWidth, kCellHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                   QString(ch));
    }
    const int w = m_tileSize.width();
    uint32_t *dst = set.pixels.data() + std::size_t(index) * w * m_tileSize.height();
    for (int y = 0; y < m_tileSize.height(); ++y)
        std::memcpy(dst + y * w, img.constScanLine(y), std::size_t(w) * 4);
}

void CellGrid::paintEvent(QPaintEvent *event)
{
    // The window may have moved to a screen of another ratio since the page
    // was built; checking here covers every way that can happen.
    const qreal dpr = devicePixelRatioF();
    if (!qFuzzyCompare(dpr, m_page.devicePixelRatio()))
        rebuildPage(dpr);
    QPainter p(this);
    // Copy whole device pixels: the painter is set to work in device pixels
    // (undoing the ratio's scale), so the copy is a plain blit of the rounded
    // device rectangle, with nothing resampled.
    const QRect d = deviceRect(event->rect(), dpr).intersected(m_page.rect());
    p.setWorldTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    p.drawImage(QRectF(d), m_page, QRectF(d));
    m_dirty = QRect();
}

void CellGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressedCell = cellAt(event->position().toPoint());
}

void CellGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int cell = cellAt(event->position().toPoint());
    const int pressed = m_pressedCell;
    m_pressedCell = -1;
    if (cell >= 0 && cell == pressed)
        emit cellClicked(cell);
}

void CellGrid::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const int cell = cellAt(pos);
    if (cell < 0)
        return;
    const QRect r = cellRect(cell);
    // Coordinates inside the cell, in pixels as the control received them.
    emit cellMouseMoved(cell, InputCodes::buttonsCode(event->buttons()), InputCodes::shiftState(event->modifiers()),
                        float(pos.x() - r.x()), float(pos.y() - r.y()));
}

void CellGrid::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        emit keyboardEntered(event->reason() == Qt::TabFocusReason);
}

bool CellGrid::focusNextPrevChild(bool next)
{
    // With nothing else to go to (one page, nothing selected) the focus
    // would stay here and Tab would do nothing: take it as entering.
    const bool moved = QWidget::focusNextPrevChild(next);
    if (!moved || hasFocus())
        emit keyboardEntered(next);
    return true;
}

bool CellGrid::event(QEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    if (event->type() == QEvent::DevicePixelRatioChange)
        update(); // the paint rebuilds the page at the new ratio
#endif
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int cell = cellAt(help->pos());
        if (cell >= 0 && !m_tips[cell].isEmpty())
            QToolTip::showText(help->globalPos(), m_tips[cell], this, cellRect(cell));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
