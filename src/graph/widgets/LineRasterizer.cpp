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

} // namespace

void strokeLines(QImage& image, const QList<QLineF>& lines, const QColor& color, double width, double dash)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied);
    const quint32 src = qPremultiply(color.rgba());
    const int w = image.width();
    const int h = image.height();
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;

    for (const auto& line : lines) {
        const double dx = line.dx();
        const double dy = line.dy();
        const double length = std::hypot(dx, dy);
        if (length == 0)
            continue;
        // Walk the major axis one pixel at a time; across it, cover the line's thickness.
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const double uStart = xMajor ? line.x1() : line.y1();
        const double vStart = xMajor ? line.y1() : line.x1();
        const double du = xMajor ? dx : dy;
        const double dv = xMajor ? dy : dx;
        const double slope = dv / du;
        const double half = width / 2 * length / std::abs(du);
        const int majorExtent = xMajor ? w : h;
        const int minorExtent = xMajor ? h : w;
        const double uLow = std::min(uStart, uStart + du);
        const double uHigh = std::max(uStart, uStart + du);
        const int first = std::max(0, int(std::ceil(uLow - 0.5)));
        const int last = std::min(majorExtent - 1, int(std::floor(uHigh - 0.5)));
        const double along = length / std::abs(du); // distance along the line per major step
        for (int u = first; u <= last; ++u) {
            const double centre = u + 0.5;
            if (dash > 0 && std::fmod(std::abs(centre - uStart) * along, 2 * dash) >= dash)
                continue;
            const double v = vStart + (centre - uStart) * slope;
            const int low = std::max(0, int(std::floor(v - half - 0.5)));
            const int high = std::min(minorExtent - 1, int(std::ceil(v + half + 0.5)));
            for (int m = low; m <= high; ++m) {
                const auto coverage =
                    quint32(std::clamp(half + 0.5 - std::abs(m + 0.5 - v), 0.0, 1.0) * 255 + 0.5);
                if (coverage == 0)
                    continue;
                QRgb& pixel = xMajor ? bits[m * stride + u] : bits[u * stride + m];
                blend(pixel, src, coverage);
            }
        }
    }
}

} // namespace morvane
