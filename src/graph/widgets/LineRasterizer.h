#pragma once

#include <QColor>
#include <QLineF>
#include <QList>

#include <utility>
#include <vector>

class QImage;

namespace morvane {

class GraphWorkPool;

// Strokes straight lines of any width into a premultiplied ARGB32 (or opaque RGB32) image with antialiased
// edges and flat ends, blending source-over. QPainter's antialiased wide pens cost time in proportion to the
// area a line spans rather than the pixels it covers, which is far too slow for the thousands of
// long edges the graph draws every layout tick; this walks only the covered pixels. With a dash
// length, lines alternate that many pixels drawn and that many skipped, from their start.
//
// Many lines of one colour are not blended one by one: source-over of a single colour gives the same
// result in any order, the pixel's distance to the colour shrinking by (1 - alpha × coverage) at each
// line, so the walk only sums those factors as logarithms per pixel and each pixel is blended once at
// the end. Rows are split into bands drawn by several threads. Faint lines are summed eight steps
// along them at a time, one row across them at a time; lines mostly along y go into a transposed copy
// of the sums for that, added in before the blend. The bands are drawn on the graph's pool and the
// calling thread; without a pool, on the calling thread alone.
class LineRasterizer {
public:
    explicit LineRasterizer(GraphWorkPool* pool = nullptr);
    ~LineRasterizer();
    LineRasterizer(const LineRasterizer&) = delete;
    LineRasterizer& operator=(const LineRasterizer&) = delete;

    void stroke(QImage& image, const QList<QLineF>& lines, const QColor& color, double width,
                double dash = 0);

    // A line as its pixels are visited.
    struct Walk;
    // The pixels a band of rows had lines over.
    struct Touched;

private:
    void addAcross(const Touched& touched, qsizetype stride, qsizetype height);

    GraphWorkPool* m_pool;

    std::vector<Walk> m_walks;
    // The first and last row of each walk.
    std::vector<std::pair<int, int>> m_rows;
    // Per pixel of the last image, the summed logarithms; all zero between strokes.
    std::vector<quint16> m_depth;
    // The same, transposed, for lines mostly along y; all zero between strokes.
    std::vector<quint16> m_across;
    // What the colour adds to a pixel under each depth.
    std::vector<quint32> m_added;
};

} // namespace morvane
