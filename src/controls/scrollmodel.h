#pragma once
// ScrollModel: the value model and geometry of the RealvScroll scroll bar,
// with no widget behind it. It holds the range and steps, the thumb's row and
// length, the colour table, the drag and repeat state and the state of the
// auto-repeat timer (as plain data; the widget mirrors it onto a QTimer), and
// does all the arithmetic: thumb length and placement, shades, drag steps and
// timer ticks.
//
// Every operation that can fail (a division by a zero range or span, a step
// past the 32-bit range, a row past the 16-bit range) is all-or-nothing: it
// reports failure and leaves Value and the thumb as they were, so no input
// can leave the control half-updated.
#include <array>
#include <cstdint>

class ScrollModel
{
public:
    // What the auto-repeat timer follows.
    enum RepeatModes : int16_t {
        RepeatMouse = 0,
        RepeatPageUp = 1,
        RepeatPageDown = 2,
        RepeatLineUp = 3,
        RepeatLineDown = 4,
    };

    // Codes of the keys the control reacts to, and of the left button.
    static constexpr int16_t kKeyPageUp = 33;
    static constexpr int16_t kKeyPageDown = 34;
    static constexpr int16_t kKeyUp = 38;
    static constexpr int16_t kKeyDown = 40;
    static constexpr int16_t kLeftButton = 1;

    static constexpr int kSlowInterval = 100;
    static constexpr int kFastInterval = 10;

    // Row of the last line of the up-arrow box; the thumb never rises above it.
    static constexpr int16_t kTopRow = 17;

    // What a tick did: Skipped (dead zone; nothing to repaint or announce),
    // Failed (arithmetic error; nothing changed), or Stepped (repaint, then
    // raise Change, then call finishTick()).
    enum class TickResult { Skipped, Failed, Stepped };

    // --- surface -----------------------------------------------------------
    void setSurfaceSize(int width, int height);
    float scaleWidth() const { return m_width; }
    float scaleHeight() const { return m_height; }

    // --- value fields --------------------------------------------------------
    int32_t value() const { return m_value; }
    int32_t valueMin() const { return m_valueMin; }
    int32_t valueMax() const { return m_valueMax; }
    int32_t valueSmallChange() const { return m_smallChange; }
    int32_t valueLargeChange() const { return m_largeChange; }
    // Plain stores: they move nothing; the new range takes effect at the next
    // change of Value, the thumb length at the next full redraw.
    void storeValue(int32_t value) { m_value = value; }
    void setValueMin(int32_t v) { m_valueMin = v; }
    void setValueMax(int32_t v) { m_valueMax = v; }
    void setValueSmallChange(int32_t v) { m_smallChange = v; }
    void setValueLargeChange(int32_t v) { m_largeChange = v; }

    // The Value setter's model part: caps at ValueMax (a value below ValueMin
    // is kept) and places the thumb. Returns false when the thumb could not be
    // placed; the value is stored all the same and the thumb stays put.
    bool setValue(int32_t newValue);

    // --- geometry --------------------------------------------------------------
    int16_t thumbTop() const { return m_thumbTop; }
    int16_t thumbLength() const { return m_thumbLength; }
    void setThumbTop(int16_t top) { m_thumbTop = top; }
    void setThumbLength(int16_t length) { m_thumbLength = length; }
    // Centre column of the arrow glyphs.
    int arrowColumn() const { return m_arrowColumn; }

    // ThumbTop for the current Value, StepOffset rows lower, bounded to the
    // track. All or nothing: false (thumb unmoved) when the arithmetic fails.
    bool placeThumb(int stepOffset = 0);
    // The full redraw's placement, step by step: a share that cannot be
    // computed keeps the old ThumbTop, and the bounds still apply to it, so a
    // control without a range shows its thumb at row 17.
    void placeThumbForRedraw();

    // The full redraw's arithmetic, each step skipped on failure so the others
    // still run: the glyph column and the colour table (before drawing) and
    // the thumb length and placement (after).
    void computeArrowColumn();
    void computeShades(uint32_t backColor);
    void computeThumbLength();

    // --- colours ---------------------------------------------------------------
    // Entry n (1..25) is n/20 of the back colour, as &HBBGGRR.
    uint32_t shade(int n) const;
    static std::array<uint32_t, 25> shadesFor(uint32_t backColor);

    // --- interaction ---------------------------------------------------------------
    bool isDragging() const { return m_dragging; }
    int16_t pressY() const { return m_pressY; }
    int16_t repeatMode() const { return m_repeatMode; }
    bool isTimerEnabled() const { return m_timerEnabled; }
    int timerInterval() const { return m_timerInterval; }

    // True when a left press at row y starts a drag (it lies on the thumb).
    bool isOnThumb(float y) const;

    void mousePress(int16_t button, float y);
    void mouseRelease();
    // One pointer move while dragging. Returns false (and changes nothing)
    // when the arithmetic fails; otherwise repaint and raise Change.
    bool dragStep(float y);
    void keyPress(int16_t keyCode);
    void keyRelease();
    // Ends drag and any repeat, as if every button and key had been released.
    void cancelInput();

    TickResult tick();
    // The part of a tick that follows its Change: the paging-down stop.
    void finishTick();

private:
    bool placementFor(int32_t value, int stepOffset, int16_t &top) const;
    bool unboundedTop(int32_t value, int stepOffset, int16_t &top) const;
    bool boundTop(int16_t &top) const;

    float m_width = 0;
    float m_height = 0;

    int32_t m_value = 0;
    int32_t m_valueMin = 0;
    int32_t m_valueMax = 0;
    int32_t m_smallChange = 0;
    int32_t m_largeChange = 0;

    int16_t m_thumbTop = 0;
    int16_t m_thumbLength = 0;
    int m_arrowColumn = 0;
    std::array<uint32_t, 25> m_shades {};

    bool m_dragging = false;
    int16_t m_pressY = 0;
    int16_t m_repeatMode = RepeatMouse;
    bool m_timerEnabled = false;
    int m_timerInterval = kSlowInterval;

    // Carried from a tick to its finishTick().
    bool m_pagedDown = false;
};
