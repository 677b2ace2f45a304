#include "cellgrid.h"

#include "ansi.h"
#include "gridgeometry.h"
#include "inputcodes.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cstring>

namespace {
using namespace GridGeometry;

constexpr int kTilePixels = kCellWidth * kCellHeight;
constexpr int kEmptyTile = 256;

QRgb toRgb(uint32_t bgr)
{
    return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

} // namespace

CellGrid::CellGrid(QWidget *parent)
    : QWidget(parent)
    , m_page(area().size(), QImage::Format_RGB32)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFixedSize(area().size());
    QFont f(QStringLiteral("Courier New"));
    f.setPointSizeF(8.25);
    f.setStyleHint(QFont::TypeWriter);
    setFont(f);
    m_page.fill(toRgb(m_gap));
    for (int i = 0; i < kCells; ++i)
        drawCell(i);
}

void CellGrid::setColors(uint32_t foreBgr, uint32_t gapBgr)
{
    m_fore = foreBgr;
    m_gap = gapBgr;
    m_tiles.clear();
    m_page.fill(toRgb(m_gap));
    for (int i = 0; i < kCells; ++i)
        drawCell(i);
    update();
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
    const QRect r = cellRect(cell);
    const qsizetype stride = m_page.bytesPerLine();
    uchar *dst = m_page.bits() + r.y() * stride + r.x() * 4;
    for (int y = 0; y < kCellHeight; ++y, dst += stride, src += kCellWidth)
        std::memcpy(dst, src, kCellWidth * 4);
    // One growing rectangle rather than a region of up to 1600 pieces: the
    // region arithmetic would cost more than the drawing.
    m_dirty = m_dirty.united(r);
    update(m_dirty);
}

const uint32_t *CellGrid::tile(uint32_t bgr, int glyph)
{
    const int index = glyph < 0 ? kEmptyTile : glyph;
    TileSet &set = m_tiles[bgr];
    if (set.pixels.empty()) {
        set.pixels.assign(std::size_t(257) * kTilePixels, 0);
        set.ready.assign(257, false);
    }
    if (!set.ready[index]) {
        renderTile(set, bgr, index);
        set.ready[index] = true;
    }
    return set.pixels.data() + std::size_t(index) * kTilePixels;
}

void CellGrid::renderTile(TileSet &set, uint32_t bgr, int index)
{
    QImage img(kCellWidth, kCellHeight, QImage::Format_RGB32);
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
    uint32_t *dst = set.pixels.data() + std::size_t(index) * kTilePixels;
    for (int y = 0; y < kCellHeight; ++y)
        std::memcpy(dst + y * kCellWidth, img.constScanLine(y), kCellWidth * 4);
}

void CellGrid::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QRect r = event->rect();
    p.drawImage(r, m_page, r);
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

bool CellGrid::event(QEvent *event)
{
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
