#pragma once
// Where each of the 1600 cells stands. Cells are 80 to a row and 20 rows;
// cell i is 7 x 14 pixels at (8 + 8 * column, 36 + 15 * row) in the main
// window's client area (120 + 120 * column, 540 + 225 * row twips, 105 x 210).
// Between cells the window's background shows through.
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <cmath>

namespace GridGeometry {

constexpr int kColumns = 80;
constexpr int kRows = 20;
constexpr int kCells = kColumns * kRows;
constexpr int kLastCell = kCells - 1;

constexpr int kCellWidth = 7;   // 105 twips
constexpr int kCellHeight = 14; // 210 twips
constexpr int kPitchX = 8;      // 120 twips
constexpr int kPitchY = 15;     // 225 twips
constexpr int kLeft = 8;        // 120 twips
constexpr int kTop = 36;        // 540 twips

// The grid's own extent in client coordinates: from the first cell's corner
// to the last cell's pitch, so the grid tiles exactly.
constexpr QRect area() { return QRect(kLeft, kTop, kColumns * kPitchX, kRows * kPitchY); }

constexpr int row(int cell) { return cell / kColumns; }
constexpr int column(int cell) { return cell % kColumns; }

// Cell rectangle relative to the grid's own top-left corner.
constexpr QRect cellRect(int cell)
{
    return QRect(column(cell) * kPitchX, row(cell) * kPitchY, kCellWidth, kCellHeight);
}

// Cell rectangle in client coordinates.
constexpr QRect cellClientRect(int cell) { return cellRect(cell).translated(kLeft, kTop); }

// The cell under a point given relative to the grid, or -1 for a gap or
// a point outside the grid.
constexpr int cellAt(QPoint p)
{
    if (p.x() < 0 || p.y() < 0)
        return -1;
    const int c = p.x() / kPitchX, r = p.y() / kPitchY;
    if (c >= kColumns || r >= kRows)
        return -1;
    if (p.x() - c * kPitchX >= kCellWidth || p.y() - r * kPitchY >= kCellHeight)
        return -1;
    return r * kColumns + c;
}

// A rectangle given in pixels of the design, in device pixels at a ratio of
// dpr. Both edges are rounded, not the size, so neighbours never overlap.
inline QRect deviceRect(QRect r, qreal dpr)
{
    const auto at = [dpr](int v) { return int(std::lround(v * dpr)); };
    const int left = at(r.x()), top = at(r.y());
    return QRect(left, top, at(r.x() + r.width()) - left, at(r.y() + r.height()) - top);
}

// The gap between two cells in device pixels: one pixel of the design,
// rounded once, so that every gap of the grid is as wide as every other.
inline int deviceGap(qreal dpr)
{
    return std::max(1, int(std::lround(dpr)));
}

// Cell rectangle relative to the grid, in device pixels: from its pitch's
// rounded corner to the next pitch's, less one gap. Cells take what the
// rounding leaves (a row may be a device pixel taller than the next); the
// gaps never vary.
inline QRect deviceCellRect(int cell, qreal dpr)
{
    const auto at = [dpr](int v) { return int(std::lround(v * dpr)); };
    const int c = column(cell), r = row(cell);
    const int left = at(c * kPitchX), top = at(r * kPitchY);
    const int gap = deviceGap(dpr);
    return QRect(left, top, at((c + 1) * kPitchX) - gap - left, at((r + 1) * kPitchY) - gap - top);
}

// A device size no cell's deviceCellRect exceeds at this ratio.
inline QSize deviceCellSize(qreal dpr)
{
    const int gap = deviceGap(dpr);
    return QSize(int(std::ceil(kPitchX * dpr)) + 1 - gap, int(std::ceil(kPitchY * dpr)) + 1 - gap);
}

} // namespace GridGeometry
