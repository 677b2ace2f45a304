#include "scrollmodel.h"

#include "numeric.h"

#include <algorithm>
#include <optional>

using Numeric::addChecked;
using Numeric::subChecked;
using Numeric::toIntChecked;

namespace {

constexpr int kInt16Max = 32767;

// Rows derived from a 16-bit thumb length are 16-bit sums; past that range
// the thumb arithmetic has no answer.
bool fitsInt16(int v)
{
    return v >= -32768 && v <= kInt16Max;
}

} // namespace

void ScrollModel::setSurfaceSize(int width, int height)
{
    m_width = static_cast<float>(width);
    m_height = static_cast<float>(height);
}

bool ScrollModel::setValue(int32_t newValue)
{
    m_value = newValue > m_valueMax ? m_valueMax : newValue;
    return placeThumb(0);
}

bool ScrollModel::placeThumb(int stepOffset)
{
    int16_t top = m_thumbTop;
    if (!placementFor(m_value, stepOffset, top))
        return false;
    m_thumbTop = top;
    return true;
}

// The thumb's top row for `value`: its share of the range, over the rows the
// thumb can travel, plus stepOffset; then kept between row 17 and the lowest
// row that leaves the thumb's foot on the down-arrow box.
bool ScrollModel::placementFor(int32_t value, int stepOffset, int16_t &top) const
{
    int16_t placed = 0;
    if (!unboundedTop(value, stepOffset, placed) || !boundTop(placed))
        return false;
    top = placed;
    return true;
}

bool ScrollModel::unboundedTop(int32_t value, int stepOffset, int16_t &top) const
{
    const auto range = subChecked(m_valueMax, m_valueMin);
    const auto share = subChecked(value, m_valueMin);
    const int lengthPlus23 = int(m_thumbLength) + 23;
    if (!range || *range == 0 || !share || !fitsInt16(lengthPlus23))
        return false;

    const float travel = m_height - static_cast<float>(lengthPlus23);
    const double raw = double(*share) / double(*range) * double(travel) + stepOffset;
    const auto placed = toIntChecked<int16_t>(raw);
    if (!placed)
        return false;
    top = *placed;
    return true;
}

// The lower bound is tested first, so on a surface too short for both it wins.
bool ScrollModel::boundTop(int16_t &top) const
{
    const int lengthPlus22 = int(m_thumbLength) + 22;
    if (!fitsInt16(lengthPlus22))
        return false;
    const float lowest = m_height - static_cast<float>(lengthPlus22);
    if (lowest < static_cast<float>(top)) {
        const auto bounded = toIntChecked<int16_t>(lowest);
        if (!bounded)
            return false;
        top = *bounded;
    } else if (top < kTopRow) {
        top = kTopRow;
    }
    return true;
}

void ScrollModel::placeThumbForRedraw()
{
    int16_t top = m_thumbTop;
    unboundedTop(m_value, 0, top);
    boundTop(top);
    m_thumbTop = top;
}

void ScrollModel::computeArrowColumn()
{
    if (const auto m = toIntChecked<int>(double(m_width) / 2.0))
        m_arrowColumn = *m;
}

std::array<uint32_t, 25> ScrollModel::shadesFor(uint32_t backColor)
{
    // Bit 24 set names no colour at all: everything comes out black.
    const bool noColour = (backColor & 0x01000000u) != 0;
    const int red = noColour ? 0 : int(backColor & 0xFF);
    const int green = noColour ? 0 : int((backColor >> 8) & 0xFF);
    const int blue = noColour ? 0 : int((backColor >> 16) & 0xFF);

    const auto part = [](int n, int component) -> uint32_t {
        // Same order of operations as the reference greys: 10n times the
        // component's 200th, so 255 * 10/20 lands on 127.4999... and gives 127.
        const double product = double(10 * n) * (double(component) / 200.0);
        const double rounded = Numeric::roundHalfEven(product);
        return static_cast<uint32_t>(std::clamp(rounded, 0.0, 255.0));
    };

    std::array<uint32_t, 25> table {};
    for (int n = 1; n <= 25; ++n)
        table[n - 1] = part(n, red) | (part(n, green) << 8) | (part(n, blue) << 16);
    return table;
}

void ScrollModel::computeShades(uint32_t backColor)
{
    m_shades = shadesFor(backColor);
}

uint32_t ScrollModel::shade(int n) const
{
    if (n < 1 || n > 25)
        return 0;
    return m_shades[n - 1];
}

// Half of the rows one page takes of the track, at least 5. A page larger
// than twice the range would give a thumb longer than the track; it then gets
// H - 100 rows. If the length cannot be computed (no range, no page step) the
// previous length stays and the minimum still applies to it.
void ScrollModel::computeThumbLength()
{
    const auto range = subChecked(m_valueMax, m_valueMin);
    if (range && *range != 0 && m_largeChange != 0) {
        const double pages = double(*range) / double(m_largeChange);
        const double length = double(m_height - 40.0f) / pages / 2.0;
        if (const auto l = toIntChecked<int16_t>(length))
            m_thumbLength = *l;
    }
    if (m_thumbLength < 5) {
        m_thumbLength = 5;
    } else if (m_height - 40.0f < static_cast<float>(m_thumbLength)) {
        if (const auto l = toIntChecked<int16_t>(m_height - 100.0f))
            m_thumbLength = *l;
    }
}

bool ScrollModel::isOnThumb(float y) const
{
    return y > float(m_thumbTop) && y < float(int(m_thumbTop) + m_thumbLength + 6);
}

void ScrollModel::mousePress(int16_t button, float y)
{
    if (button != kLeftButton)
        return;
    if (isOnThumb(y)) {
        m_dragging = true;
        return;
    }
    const auto row = toIntChecked<int16_t>(y);
    if (!row)
        return;
    m_pressY = *row;
    m_timerInterval = kSlowInterval;
    m_timerEnabled = true;
}

void ScrollModel::mouseRelease()
{
    // The interval stays: a key may still be held and its ticks keep pace.
    m_dragging = false;
    m_timerEnabled = false;
}

// The thumb is centred on the pointer within its travel, while Value follows
// the pointer's row below the up-arrow box over a slightly longer span, so
// the bottom of the travel reaches ValueMax.
bool ScrollModel::dragStep(float y)
{
    const int length = m_thumbLength;
    const int lengthPlus22 = length + 22;
    const int lengthPlus12 = length + 12;
    if (!fitsInt16(lengthPlus22))
        return false;

    auto top = toIntChecked<int16_t>(double(y) - double(length) / 2.0 - 3.0);
    if (!top)
        return false;

    std::optional<int32_t> offset;
    const float lowest = m_height - static_cast<float>(lengthPlus22);
    if (*top < kTopRow) {
        top = kTopRow;
        offset = 0;
    } else if (lowest < static_cast<float>(*top)) {
        top = toIntChecked<int16_t>(lowest);
        offset = toIntChecked<int32_t>(m_height - 17.0f);
    } else {
        offset = toIntChecked<int32_t>(double(y) - 17.0);
    }
    if (!top || !offset)
        return false;

    const float span = m_height - static_cast<float>(lengthPlus12);
    const auto range = subChecked(m_valueMax, m_valueMin);
    if (span == 0.0f || !range)
        return false;
    auto value = toIntChecked<int32_t>(double(*offset) / double(span) * double(*range)
                                       + double(m_valueMin));
    if (!value)
        return false;
    if (*value > m_valueMax)
        value = m_valueMax;
    if (*value < m_valueMin)
        value = m_valueMin;

    m_thumbTop = *top;
    m_value = *value;
    return true;
}

void ScrollModel::keyPress(int16_t keyCode)
{
    switch (keyCode) {
    case kKeyPageUp:
        m_timerInterval = kSlowInterval;
        m_repeatMode = RepeatPageUp;
        break;
    case kKeyPageDown:
        m_timerInterval = kSlowInterval;
        m_repeatMode = RepeatPageDown;
        break;
    case kKeyUp:
        m_timerInterval = kFastInterval;
        m_repeatMode = RepeatLineUp;
        break;
    case kKeyDown:
        m_timerInterval = kFastInterval;
        m_repeatMode = RepeatLineDown;
        break;
    default:
        break;
    }
    if (m_repeatMode > RepeatMouse)
        m_timerEnabled = true;
}

void ScrollModel::keyRelease()
{
    m_repeatMode = RepeatMouse;
    m_timerEnabled = false;
    m_timerInterval = kSlowInterval;
}

void ScrollModel::cancelInput()
{
    m_dragging = false;
    keyRelease();
}

// One auto-repeat step. The cases are tested in this order because the zones
// overlap: keys first, then the arrow boxes, then the track below and above
// the thumb. A step moving down leaves the thumb 17 rows lower than the
// setter would, which is what lets paging down overtake the press point and
// stop.
ScrollModel::TickResult ScrollModel::tick()
{
    const int t = m_thumbTop;
    const int l = m_thumbLength;
    const int p = m_pressY;
    const int k = m_repeatMode;
    const float h = m_height;
    const float aboveDownBox = h - 17.0f;

    if (k == RepeatMouse && t - 3 <= p && p <= t + l + 6)
        return TickResult::Skipped; // the thumb has reached the press point

    std::optional<int32_t> value = m_value;
    int interval = m_timerInterval;
    int stepOffset = 0;
    bool pagedDown = false;

    if (k == RepeatPageDown) {
        value = addChecked(m_value, m_largeChange);
        stepOffset = 17;
    } else if (k == RepeatPageUp) {
        value = subChecked(m_value, m_largeChange);
    } else if (k == RepeatLineUp && m_value > m_valueMin) {
        value = subChecked(m_value, m_smallChange);
        interval = kFastInterval;
    } else if (k == RepeatLineDown && m_value < m_valueMax) {
        value = addChecked(m_value, m_smallChange);
        interval = kFastInterval;
        stepOffset = 17;
    } else if (k == RepeatMouse && p < kTopRow && m_value > m_valueMin) {
        value = subChecked(m_value, m_smallChange);
        interval = kFastInterval;
    } else if (k == RepeatMouse && float(p) > aboveDownBox && m_value < m_valueMax) {
        value = addChecked(m_value, m_smallChange);
        interval = kFastInterval;
        stepOffset = 17;
    } else if (k == RepeatMouse && p > t && float(p) < aboveDownBox) {
        value = addChecked(m_value, m_largeChange);
        pagedDown = true;
        stepOffset = 17;
    } else if (k == RepeatMouse && (p >= t || p <= kTopRow)) {
        // An arrow box held at its limit, or a press on row 17 or H - 17.
    } else if (k == RepeatMouse && p < t - (l + 6)) {
        value = subChecked(m_value, m_largeChange);
    } else if (k == RepeatMouse) {
        // Close above the thumb: approach the press point in proportion.
        const auto range = subChecked(m_valueMax, m_valueMin);
        if (!range || h == 0.0f)
            return TickResult::Failed;
        const float share = float(t - p) / h;
        value = toIntChecked<int32_t>(double(m_value) - double(share) * double(*range));
    }
    // Otherwise an arrow key is held at its limit: no step, as with an arrow
    // box held there; the tick still settles the thumb and raises Change.

    if (!value)
        return TickResult::Failed;
    if (*value > m_valueMax)
        value = m_valueMax;
    else if (*value < m_valueMin)
        value = m_valueMin;

    int16_t top = m_thumbTop;
    if (!placementFor(*value, stepOffset, top))
        return TickResult::Failed;

    m_value = *value;
    m_thumbTop = top;
    m_timerInterval = interval;
    m_pagedDown = pagedDown;
    return TickResult::Stepped;
}

void ScrollModel::finishTick()
{
    if (m_pagedDown && m_pressY < m_thumbTop && m_repeatMode == RepeatMouse)
        m_timerEnabled = false;
    m_pagedDown = false;
}
