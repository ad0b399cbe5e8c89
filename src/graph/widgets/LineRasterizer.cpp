#include "LineRasterizer.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace morvane {

namespace {

// All four premultiplied channels times a / 255, two channels per multiplication.
inline quint32 byteMul(quint32 pixel, quint32 a)
{
    quint32 t = (pixel & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    quint32 x = ((pixel >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return t | x;
}

inline void blend(QRgb& pixel, quint32 src, quint32 coverage)
{
    const quint32 covered = byteMul(src, coverage);
    pixel = covered + byteMul(pixel, 255 - qAlpha(covered));
}

// One line, walked along its major axis one pixel at a time and covered across its thickness.
template <bool xMajor>
void strokeLine(QRgb* bits, qsizetype stride, int majorExtent, int minorExtent, const QLineF& line,
                quint32 src, double width, double dash)
{
    const double uStart = xMajor ? line.x1() : line.y1();
    const double vStart = xMajor ? line.y1() : line.x1();
    const double du = xMajor ? line.dx() : line.dy();
    const double dv = xMajor ? line.dy() : line.dx();
    const double slope = dv / du;
    const double along = std::hypot(du, dv) / std::abs(du); // distance along the line per major step
    const double half = width / 2 * along;
    const int first = std::max(0, int(std::ceil(std::min(uStart, uStart + du) - 0.5)));
    const int last = std::min(majorExtent - 1, int(std::floor(std::max(uStart, uStart + du) - 0.5)));
    for (int u = first; u <= last; ++u) {
        const double centre = u + 0.5;
        if (dash > 0 && std::fmod(std::abs(centre - uStart) * along, 2 * dash) >= dash)
            continue;
        const double v = vStart + (centre - uStart) * slope;
        const int low = std::max(0, int(v - half));
        const int high = std::min(minorExtent - 1, int(v + half + 1));
        for (int m = low; m <= high; ++m) {
            const double cover = half + 0.5 - std::abs(m + 0.5 - v);
            if (cover <= 0)
                continue;
            const auto coverage = cover >= 1 ? 255u : quint32(cover * 255 + 0.5);
            blend(xMajor ? bits[m * stride + u] : bits[u * stride + m], src, coverage);
        }
    }
}

} // namespace

void strokeLines(QImage& image, const QList<QLineF>& lines, const QColor& color, double width, double dash)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32);
    const quint32 src = qPremultiply(color.rgba());
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    for (const auto& line : lines) {
        if (std::abs(line.dx()) >= std::abs(line.dy())) {
            if (line.dx() != 0)
                strokeLine<true>(bits, stride, image.width(), image.height(), line, src, width, dash);
        } else {
            strokeLine<false>(bits, stride, image.height(), image.width(), line, src, width, dash);
        }
    }
}

} // namespace morvane
