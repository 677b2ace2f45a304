#include "scrollrender.h"

#include "scrollmodel.h"

#include <QPainter>
#include <cmath>
#include <utility>

namespace ScrollRender {

QColor colour(uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

void ring(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &c)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    const int w = x2 - x1 + 1;
    const int h = y2 - y1 + 1;
    painter.fillRect(x1, y1, w, 1, c);
    painter.fillRect(x1, y2, w, 1, c);
    painter.fillRect(x1, y1, 1, h, c);
    painter.fillRect(x2, y1, 1, h, c);
}

void filledBox(QPainter &painter, int x1, int y1, int x2, int y2, const QColor &c)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    painter.fillRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1, c);
}

namespace {

void run(QPainter &painter, int y, int x1, int x2, const QColor &c)
{
    painter.fillRect(x1, y, x2 - x1 + 1, 1, c);
}

// Sets one pixel of the track; pixels off the surface are dropped.
inline void setPixel(QImage &image, int x, int y, QRgb rgb)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    reinterpret_cast<QRgb *>(image.scanLine(y))[x] = rgb;
}

} // namespace

QImage background(const ScrollModel &model, int width, int height, uint32_t backColor, qreal dpr)
{
    const auto device = [dpr](int v) { return int(std::lround(v * dpr)); };
    QImage image(qMax(device(width), 1), qMax(device(height), 1), QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(colour(backColor));
    if (width <= 0 || height <= 0)
        return image;

    const int w = width;
    const int h = height;
    const int m = model.arrowColumn();
    const QColor s10 = colour(model.shade(10));
    const QColor s11 = colour(model.shade(11));
    const QColor s16 = colour(model.shade(16));
    const QColor s18 = colour(model.shade(18));
    const QColor s20 = colour(model.shade(20));

    // The track: a checkerboard of 55 % and 100 % of the colour from row 16.
    const QRgb dark = s11.rgb();
    const QRgb light = s20.rgb();
    for (int y = device(16); y <= image.height(); y += 2) {
        for (int x = 0; x <= image.width(); x += 2) {
            setPixel(image, x, y, dark);
            setPixel(image, x + 1, y + 1, dark);
            setPixel(image, x + 1, y, light);
            setPixel(image, x, y + 1, light);
        }
    }

    QPainter painter(&image);
    ring(painter, 0, 0, w - 1, h - 1, s11);
    ring(painter, 1, 1, w - 2, h - 2, s16);

    ring(painter, 0, 0, w - 1, 17, s11);
    ring(painter, 1, 1, w - 2, 16, s16);
    ring(painter, 2, 2, w - 3, 15, s20);
    filledBox(painter, 3, 3, w - 4, 14, s18);

    painter.fillRect(m, 6, 1, 1, s11);
    run(painter, 7, m - 1, m + 1, s11);
    run(painter, 8, m - 2, m + 2, s11);
    run(painter, 9, m - 3, m + 3, s11);
    run(painter, 10, m - 4, m + 4, s10);

    ring(painter, 0, h - 18, w - 1, h - 1, s11);
    ring(painter, 1, h - 17, w - 2, h - 2, s16);
    ring(painter, 2, h - 16, w - 3, h - 3, s20);
    filledBox(painter, 3, h - 15, w - 4, h - 4, s18);

    // The down arrow's tip is black whatever the colour, unlike the up arrow's.
    painter.fillRect(m, h - 7, 1, 1, Qt::black);
    run(painter, h - 8, m - 1, m + 1, s11);
    run(painter, h - 9, m - 2, m + 2, s11);
    run(painter, h - 10, m - 3, m + 3, s11);
    run(painter, h - 11, m - 4, m + 4, s10);
    return image;
}

void paintThumb(QPainter &painter, const ScrollModel &model, int width)
{
    const int t = model.thumbTop();
    const int l = model.thumbLength();
    const int w = width;
    ring(painter, 0, t, w - 1, t + l + 4, colour(model.shade(11)));
    ring(painter, 1, t + 1, w - 2, t + l + 3, colour(model.shade(16)));
    ring(painter, 2, t + 2, w - 3, t + l + 2, colour(model.shade(20)));
    filledBox(painter, 3, t + 3, w - 4, t + l + 1, colour(model.shade(18)));
}

} // namespace ScrollRender
