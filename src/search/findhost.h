#pragma once
// What the find dialog needs of the window whose bytes it searches: the view
// start (the scroll bar's Value), the cells' colours and the readout label.
// The main window implements it; tests implement it with a plain recorder.
#include <QString>
#include <cstdint>

class FindHost
{
public:
    virtual ~FindHost() = default;

    // Index of the byte shown in cell 0.
    virtual int64_t viewStart() const = 0;
    // Moves the view; the grid repaints at once, dropping every cell colouring.
    // The view may stop short of `value` (the scroll bar caps at its range),
    // so read viewStart() back to know where the match landed.
    virtual void setViewStart(int64_t value) = 0;
    // Background of one cell, a &HBBGGRR colour; cells outside 0..1599 are ignored.
    virtual void setCellBackColor(int cell, uint32_t bgr) = 0;
    // Caption of the readout label, which is made visible.
    virtual void showReadout(const QString &text) = 0;
    // One Find is over: `match` is the index of the match now in view and
    // painted, or -1 when nothing was found (the readout then says why).
    // The host tells it to those who do not see the grid.
    virtual void findEnded(int64_t match) = 0;
};
