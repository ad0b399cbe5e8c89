#include "LineRasterizer.h"

#include "graph/ParallelParts.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace morvane {

namespace {

// Fewer lines than this are drawn by the calling thread alone.
constexpr qsizetype parallelLines = 200;

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

// Image rows [first, last): the part of the image one thread draws.
struct Band {
    int first;
    int last;
};

// One line, walked along its major axis one pixel at a time and covered across its thickness; only
// the pixels in the band's rows.
template <bool xMajor>
void strokeLine(QRgb* bits, qsizetype stride, int majorExtent, int minorExtent, const QLineF& line,
                quint32 src, double width, double dash, Band band)
{
    const double uStart = xMajor ? line.x1() : line.y1();
    const double vStart = xMajor ? line.y1() : line.x1();
    const double du = xMajor ? line.dx() : line.dy();
    const double dv = xMajor ? line.dy() : line.dx();
    const double slope = dv / du;
    const double along = std::hypot(du, dv) / std::abs(du); // distance along the line per major step
    const double half = width / 2 * along;
    int first = std::max(0, int(std::ceil(std::min(uStart, uStart + du) - 0.5)));
    int last = std::min(majorExtent - 1, int(std::floor(std::max(uStart, uStart + du) - 0.5)));
    int minorFirst = 0;
    int minorLast = minorExtent - 1;
    if (!xMajor) {
        // Rows are the major axis: the band cuts the walk short.
        first = std::max(first, band.first);
        last = std::min(last, band.last - 1);
    } else {
        // Rows are across the line: walk only where the line's thickness reaches the band.
        minorFirst = band.first;
        minorLast = band.last - 1;
        const double low = band.first - half - 1;
        const double high = band.last + half + 1;
        if (slope == 0) {
            if (vStart < low || vStart > high)
                return;
        } else {
            const double a = uStart + (low - vStart) / slope - 0.5;
            const double b = uStart + (high - vStart) / slope - 0.5;
            first = std::max(first, int(std::floor(std::min(a, b))) - 1);
            last = std::min(last, int(std::ceil(std::max(a, b))) + 1);
        }
    }
    for (int u = first; u <= last; ++u) {
        const double centre = u + 0.5;
        if (dash > 0 && std::fmod(std::abs(centre - uStart) * along, 2 * dash) >= dash)
            continue;
        const double v = vStart + (centre - uStart) * slope;
        const int low = std::max(minorFirst, int(v - half));
        const int high = std::min(minorLast, int(v + half + 1));
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
    // Each thread draws every line into its own band of rows, in the same order, so every pixel is
    // blended exactly as one thread would.
    const int bands = lines.size() < parallelLines ? 1 : parallelParts();
    const int height = image.height();
    inParallel(bands, [&](int part) {
        const Band band{height * part / bands, height * (part + 1) / bands};
        for (const auto& line : lines) {
            if (std::abs(line.dx()) >= std::abs(line.dy())) {
                if (line.dx() != 0)
                    strokeLine<true>(bits, stride, image.width(), height, line, src, width, dash, band);
            } else {
                strokeLine<false>(bits, stride, height, image.width(), line, src, width, dash, band);
            }
        }
    });
}

} // namespace morvane
