#pragma once
// The page grid: the 1600 one-character cells ShowLab(0) to ShowLab(1599),
// drawn by one widget instead of 1600 labels. Each cell keeps what a label
// would (its caption byte or nothing, its background colour, its hover tip);
// the widget keeps the whole page in one image and copies pre-rendered glyph
// tiles into it, so a page costs one paint, not 3200 widget updates.
//
// The page and the tiles are kept in device pixels at the ratio of the screen
// the grid was last painted on; a paint at another ratio rebuilds both, so
// glyphs are drawn at the screen's resolution rather than enlarged.
//
// The grid takes the focus only from the keyboard (Tab and Shift+Tab); what
// entering it does is its owner's to decide, as for a click.
#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class CellGrid : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kNoCaption = -1;

    explicit CellGrid(QWidget *parent = nullptr);

    // Caption: a byte shown as its character, or kNoCaption for an empty cell.
    void setCaption(int cell, int glyph);
    int caption(int cell) const { return m_cells[cell].glyph; }

    // Background as a &HBBGGRR colour.
    void setBackColor(int cell, uint32_t bgr);
    uint32_t backColor(int cell) const { return m_cells[cell].bgr; }

    void setToolTipText(int cell, const QString &tip) { m_tips[cell] = tip; }
    QString toolTipText(int cell) const { return m_tips[cell]; }

    // Text colour of every cell and the colour of the gaps between cells.
    void setColors(uint32_t foreBgr, uint32_t gapBgr);

    // What assistive technology reads for a cell: the owner knows which byte
    // a cell shows, the grid does not. An empty name marks an empty cell.
    void setCellNamer(std::function<QString(int cell)> namer) { m_cellNamer = std::move(namer); }
    QString cellName(int cell) const;

    // The cell whose byte is selected, or -1; a change is announced to
    // assistive technology as a focus move and a change of selection.
    void setSelectedCell(int cell);
    int selectedCell() const { return m_selectedCell; }

    // Does what a click on the cell does (assistive technology's "Press").
    void pressCell(int cell);

    // The device pixel ratio the page image is kept at.
    qreal pageRatio() const { return m_page.devicePixelRatio(); }

signals:
    // A press and release of the left button on the same cell.
    void cellClicked(int cell);
    // The pointer moved over a cell.
    void cellMouseMoved(int cell, int button, int shift, float x, float y);
    // The keyboard moved the focus into the grid: forward by Tab, backward
    // by Shift+Tab. Also sent when Tab is pressed on the grid and no other
    // control can take the focus, so the keyboard can always get in.
    void keyboardEntered(bool forward);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Cell {
        int16_t glyph = kNoCaption;
        uint32_t bgr = 0xFF8080;
    };
    // 256 glyph tiles (plus one empty tile) on one background colour, each
    // rendered on first use.
    struct TileSet {
        std::vector<uint32_t> pixels;
        std::vector<bool> ready;
    };

    void drawCell(int cell);
    void rebuildPage(qreal dpr);
    const uint32_t *tile(uint32_t bgr, int glyph);
    void renderTile(TileSet &set, uint32_t bgr, int glyph);

    std::array<Cell, 1600> m_cells;
    std::array<QString, 1600> m_tips;
    QImage m_page;
    QHash<uint32_t, TileSet> m_tiles;
    uint32_t m_fore = 0xFFFFFF;
    uint32_t m_gap = 0xFFC0C0;
    QSize m_tileSize;  // device pixels of one tile at the page's ratio
    // Each cell's place in the page, worked out once a ratio: rounding them
    // again for every cell drawn cost a tenth of a page's repaint.
    std::array<QRect, 1600> m_deviceCells;
    int m_pressedCell = -1;
    int m_selectedCell = -1;
    std::function<QString(int)> m_cellNamer;
    QRect m_dirty; // cells drawn into the page since the last paint
};
