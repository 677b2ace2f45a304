#pragma once
// How the scroll bar's 32-bit Value stands for the view start, a 64-bit
// position. While the last view start fits the bar (files up to 2^31 - 1
// bytes), Value is the view start exactly. Beyond that the bar counts
// 0 .. kBarMax and the file is mapped onto it in proportion:
//   view = round(Value * lastView / kBarMax),  Value = floor(view * kBarMax / lastView)
// so the thumb's top shows the first page, its bottom the last, and a drag
// moves in proportion. The bar's own steps would then move many bytes, so a
// change of exactly one SmallChange or one LargeChange is taken as that many
// bytes from the current view instead (a drag never lands on exactly that
// difference: one pixel of track is worth millions of units). Going from
// view to Value rounds down, so Value reaches kBarMax only at the last view.
#include <cstdint>
#include <limits>

class ViewMapping
{
public:
    // The largest bar range used, the same that a file of 2^31 - 1 bytes gives.
    static constexpr int32_t kBarMax = std::numeric_limits<int32_t>::max() - 1;

    // The largest view start (the buffer's last index).
    void setLastView(int64_t lastView) { m_lastView = lastView < 0 ? 0 : lastView; }
    int64_t lastView() const { return m_lastView; }
    bool isExact() const { return m_lastView <= kBarMax; }
    int32_t barMax() const { return isExact() ? int32_t(m_lastView) : kBarMax; }

    int64_t viewFor(int32_t value) const
    {
        if (isExact())
            return value;
        if (value <= 0)
            return 0;
        if (value >= kBarMax)
            return m_lastView;
        const __int128 scaled = __int128(value) * m_lastView + kBarMax / 2;
        return int64_t(scaled / kBarMax);
    }

    int32_t valueFor(int64_t view) const
    {
        if (isExact())
            return int32_t(view);
        if (view <= 0)
            return 0;
        if (view >= m_lastView)
            return kBarMax;
        return int32_t(__int128(view) * kBarMax / m_lastView);
    }

    // The view after the bar went from `before` to `after` while the view
    // stood at `view`, given the bar's two step sizes.
    int64_t follow(int32_t before, int32_t after, int64_t view, int32_t smallChange, int32_t largeChange) const
    {
        if (isExact())
            return after;
        const int64_t delta = int64_t(after) - before;
        if (delta != 0 && (delta == smallChange || delta == -smallChange || delta == largeChange
                           || delta == -largeChange))
            return delta > 0 && view > m_lastView - delta ? m_lastView : clamp(view + delta);
        return viewFor(after);
    }

    int64_t clamp(int64_t view) const { return view < 0 ? 0 : view > m_lastView ? m_lastView : view; }

private:
    int64_t m_lastView = 0;
};
