#pragma once
// Windows and controls are laid out in twips; the screen works in pixels.
// We fix the ratio at 15 twips a pixel (96 dots per inch) on every platform,
// so the layout is the same pixel for pixel wherever it runs.
#include "numeric.h"

#include <QRect>

namespace Units {

constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips)
{
    return static_cast<int>(Numeric::roundHalfEven(double(twips) / kTwipsPerPixel));
}

constexpr int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A rectangle given as left, top, width, height in twips.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

} // namespace Units
