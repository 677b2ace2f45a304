#pragma once
// Drawing of the RealvScroll scroll bar from its model. The background (the
// dithered track, the frame and both arrow boxes) is built pixel by pixel
// once per full redraw; the thumb is four rectangles painted over it, so a
// thumb move never touches a pixel of the background.
#include <QColor>
#include <QImage>
#include <cstdint>

class QPainter;
class ScrollModel;

namespace ScrollRender {

// A &HBBGGRR value as a Qt colour (the top byte is ignored).
QColor colour(uint32_t bgr);

// Everything but the thumb, on a surface of the given size, in the model's
// shades. The surface is first filled with backColor.
//
// At a device pixel ratio above 1 the image has the device's pixels: the
// shapes are the same, scaled and snapped to whole device pixels (no
// blending), and the track's checkerboard alternates by device pixel, so it
// keeps its even mid-tone at fractional ratios.
QImage background(const ScrollModel &model, int width, int height, uint32_t backColor, qreal dpr = 1.0);

// The thumb at the model's ThumbTop, ThumbLength + 5 rows tall.
void paintThumb(QPainter &painter, const ScrollModel &model, int width);

// A one-pixel outline and a filled box, both corners included, whichever
// order the corners are given in.
void ring(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &c);
void filledBox(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &c);

} // namespace ScrollRender
