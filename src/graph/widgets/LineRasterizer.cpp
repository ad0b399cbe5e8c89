#include "LineRasterizer.h"

#include "SpanSums.h"
#include "graph/ParallelParts.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

namespace morvane {

using namespace lines;

namespace {

// Fewer lines than this, and shorter together than parallelLength pixels along their major axes, are
// blended one by one by the calling thread.
constexpr qsizetype parallelLines = 200;
constexpr double parallelLength = 20000;
// Bands of rows drawn by one thread at a time: a line costs a little more for each band it crosses,
// but more bands share the work out more evenly among threads the rest of the machine keeps busy.
constexpr int bandsPerThread = 3;
constexpr int minBandRows = 16;
constexpr int maxBandRows = 128;
// Lines per part of their preparation.
constexpr qsizetype walkChunk = 2048;

// How far, in depth units, the polynomial may stray from the table at any coverage.
constexpr double maxSpanError = 0.5;

// The summed logarithms ("depth") count in 1/depthUnit; the blend reads them in steps of 8.
constexpr double depthUnit = 2048;
constexpr int depthShift = 3;

qint64 toFixed(double value)
{
    const double scaled = value * double(one);
    return qint64(scaled >= 0 ? scaled + 0.5 : scaled - 0.5);
}

// All four premultiplied channels times a / 255, two channels per multiplication.
inline quint32 byteMul(quint32 pixel, quint32 a)
{
    quint32 t = (pixel & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    quint32 x = ((pixel >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return t | x;
}

// How much of the pixel [m, m + 1) across the line its thickness [top, bottom) covers, in fixed point.
inline qint64 share(qint64 m, qint64 top, qint64 bottom)
{
    const qint64 low = std::max(m << fractionBits, top);
    const qint64 high = std::min((m + 1) << fractionBits, bottom);
    return std::max<qint64>(high - low, 0);
}

// Blends one colour source-over into the image at once, at any coverage.
struct Blender {
    QRgb* bits;
    quint32 src;
    quint32 srcRest; // 255 - the source's alpha

    void add(qsizetype at, qint64 share) const
    {
        const auto cover = quint32((share * 255 + one / 2) >> fractionBits);
        QRgb& pixel = bits[at];
        if (cover >= 255) {
            pixel = src + byteMul(pixel, srcRest);
            return;
        }
        const quint32 covered = byteMul(src, cover);
        pixel = covered + byteMul(pixel, 255 - qAlpha(covered));
    }
};

// Adds each coverage's logarithm to the pixel's depth, for one blend at the end.
struct Deepener {
    quint16* depth;
    // By coverage in 256ths.
    const std::array<quint16, 257>* steps;

    void add(qsizetype at, qint64 share) const
    {
        depth[at] = quint16(std::min<quint32>(depth[at] + (*steps)[std::size_t(share >> 8)], maxDepth));
    }
};

// Where lines go eight steps at a time: lines along x into the depths, lines along y into the same
// depths transposed (columns contiguous, `acrossStride` apart), so that their steps are contiguous too.
struct Spans {
    quint16* across;
    qsizetype acrossStride;
    SpanPolynomial poly;
};

// What is left of a pixel's own colour under a depth, 0 to 255, by depth >> depthShift.
// One more than the deepest step, for the rounding up of the deepest depths.
const std::array<quint8, (maxDepth >> depthShift) + 2>& remainingShares()
{
    static const auto table = [] {
        std::array<quint8, (maxDepth >> depthShift) + 2> shares{};
        for (std::size_t i = 0; i < shares.size(); ++i)
            shares[i] = quint8(std::lround(255 * std::exp(-double(i << depthShift) / depthUnit)));
        return shares;
    }();
    return table;
}

// The pixels one thread draws: rows [first, last) of an image (or of the depth kept beside it,
// indexed alike) `width` pixels wide.
struct Band {
    qsizetype stride;
    int width;
    int first;
    int last;
};

} // namespace

// The rectangle of pixels a band's lines touched, inclusive.
struct LineRasterizer::Touched {
    int left = std::numeric_limits<int>::max();
    int top = std::numeric_limits<int>::max();
    int right = -1;
    int bottom = -1;

    void add(int x0, int y0, int x1, int y1)
    {
        left = std::min(left, x0);
        top = std::min(top, y0);
        right = std::max(right, x1);
        bottom = std::max(bottom, y1);
    }
};

namespace {

using Touched = LineRasterizer::Touched;

inline int floorInt(double value)
{
    const int truncated = int(value);
    return truncated > value ? truncated - 1 : truncated;
}

inline int ceilInt(double value)
{
    const int truncated = int(value);
    return truncated < value ? truncated + 1 : truncated;
}

// Positions are kept within this many pixels of the image's origin before they become integers;
// lines are clipped to the image anyway.
constexpr double farOut = 1 << 20;

double bounded(double value)
{
    return std::clamp(value, -farOut, farOut);
}

// The part of the line within farOut on both axes, or an empty line. Ends that far out only come from
// zooming far into a large graph.
QLineF nearImage(const QLineF& line)
{
    const auto near = [](double value) { return std::abs(value) <= farOut; };
    if (near(line.x1()) && near(line.y1()) && near(line.x2()) && near(line.y2()))
        return line;
    double from = 0;
    double to = 1;
    for (const auto& [start, delta] : {std::pair{line.x1(), line.dx()}, std::pair{line.y1(), line.dy()}}) {
        if (delta == 0) {
            if (!near(start))
                return {};
            continue;
        }
        const double a = (-farOut - start) / delta;
        const double b = (farOut - start) / delta;
        from = std::max(from, std::min(a, b));
        to = std::min(to, std::max(a, b));
    }
    if (from >= to)
        return {};
    return {line.pointAt(from), line.pointAt(to)};
}

} // namespace

struct LineRasterizer::Walk {
    bool xMajor = true;
    double uStart = 0;
    double uEnd = 0;
    double vStart = 0;
    double slope = 0;   // dv per step of u
    double inverse = 0; // du per step of v, 0 for a line along u
    double along = 1;   // distance along the line per step of u
    double half = 0;    // half the thickness, measured across along v
    qint64 fixedHalf = 0;
    qint64 fixedSlope = 0;
    int reach = 3; // the most pixels across the line one step covers
    // The steps of u within the image, and v at the first one's centre.
    int first = 0;
    int last = -1;
    qint64 vFirst = 0;
    // The rows the line touches.
    int top = 0;
    int bottom = -1;

    Walk() = default;
    Walk(const QLineF& given, double width, QSize image)
    {
        const QLineF line = nearImage(given);
        xMajor = std::abs(line.dx()) >= std::abs(line.dy());
        uStart = xMajor ? line.x1() : line.y1();
        vStart = xMajor ? line.y1() : line.x1();
        uEnd = xMajor ? line.x2() : line.y2();
        const double du = uEnd - uStart;
        const double dv = xMajor ? line.dy() : line.dx();
        if (du == 0)
            return; // nothing to draw, and no direction to draw it in
        slope = dv / du;
        inverse = slope == 0 ? 0 : 1 / slope;
        along = std::sqrt(du * du + dv * dv) / std::abs(du);
        half = width / 2 * along;
        fixedHalf = toFixed(half);
        fixedSlope = toFixed(slope);
        reach = int((2 * fixedHalf) >> fractionBits) + 2;

        const int majorExtent = xMajor ? image.width() : image.height();
        const int minorExtent = xMajor ? image.height() : image.width();
        first = std::max(0, ceilInt(std::min(uStart, uEnd) - 0.5));
        last = std::min(majorExtent - 1, floorInt(std::max(uStart, uEnd) - 0.5));
        if (!across(0, minorExtent - 1, first, last))
            return;
        vFirst = toFixed(vStart + (first + 0.5 - uStart) * slope);
        const auto [low, high] = spanAcross(first, last);
        top = xMajor ? std::max(0, low) : first;
        bottom = xMajor ? std::min(minorExtent - 1, high) : last;
    }

    bool empty() const { return first > last; }

    // Narrows [from, to] to the steps where the line's thickness reaches the pixels [low, high]
    // across it; false when it reaches none.
    bool across(int low, int high, int& from, int& to) const
    {
        const double reachLow = low - half - 1;
        const double reachHigh = high + 1 + half + 1;
        if (slope == 0) {
            if (vStart < reachLow || vStart > reachHigh)
                from = to + 1;
        } else {
            const double a = bounded(uStart + (reachLow - vStart) * inverse - 0.5);
            const double b = bounded(uStart + (reachHigh - vStart) * inverse - 0.5);
            from = std::max(from, floorInt(std::min(a, b)) - 1);
            to = std::min(to, ceilInt(std::max(a, b)) + 1);
        }
        return from <= to;
    }

    // v at the centre of step u, in fixed point.
    qint64 vAt(int u) const { return vFirst + (u - first) * fixedSlope; }

    // The pixels across the line its thickness covers over the steps [from, to].
    std::pair<int, int> spanAcross(int from, int to) const
    {
        const qint64 a = vAt(from);
        const qint64 b = vAt(to);
        return {int((std::min(a, b) - fixedHalf) >> fractionBits),
                int((std::max(a, b) + fixedHalf) >> fractionBits)};
    }
};

namespace {

// Lines faint enough have the logarithm of each coverage follow a short polynomial closely, which lets
// eight steps along a line be summed at once, one row across the line at a time, instead of one
// pixel at a time through the table.
// The depth a coverage from 0 to 1 adds, as a polynomial of it, lowest power first (none constant):
// -ln(1 - opacity × coverage) in depth units, its series cut after spanTerms terms. The first term
// left out is under one unit up to spanOpacity.
// The depth a line adds over a pixel it covers by c (16.16 fixed point, up to one), as
// c × (p0 + p1 c + p2 c²): the exact -ln(1 - opacity × c) in depth units, divided by c, met at three
// points spread over the coverages (Chebyshev's), which keeps the error far under a depth unit for
// faint lines. Empty for lines too opaque for it.
std::optional<SpanPolynomial> spanPolynomial(double opacity)
{
    const auto exact = [opacity](double c) { return -std::log(1 - opacity * c) * depthUnit; };
    std::array<double, 3> node{};
    std::array<double, 3> value{};
    for (std::size_t i = 0; i < node.size(); ++i) {
        node[i] = 0.5 - 0.5 * std::cos((2 * double(i) + 1) * M_PI / 6);
        value[i] = exact(node[i]) / node[i];
    }
    // Newton's divided differences, then the powers of c.
    const double d01 = (value[1] - value[0]) / (node[1] - node[0]);
    const double d12 = (value[2] - value[1]) / (node[2] - node[1]);
    const double d012 = (d12 - d01) / (node[2] - node[0]);
    const double p2 = d012;
    const double p1 = d01 - d012 * (node[0] + node[1]);
    const double p0 = value[0] - d01 * node[0] + d012 * node[0] * node[1];
    for (int step = 1; step <= 256; ++step) {
        const double c = step / 256.0;
        if (std::abs(c * (p0 + c * (p1 + c * p2)) - exact(c)) > maxSpanError)
            return std::nullopt;
    }
    const double unit = 1.0 / double(one);
    return SpanPolynomial{float(p0 * unit), float(p1 * unit * unit), float(p2 * unit * unit * unit)};
}

// The steps [first, last] of a line, covering the pixels [minorFirst, minorLast] across it: each step
// along the major axis covers the pixels across the line by the share of them its thickness spans,
// so its sides are antialiased and its ends flat. Reach is the number of pixels visited across the
// line per step: 3 for lines one to two pixels thick (most are), else the line's own.
template <int fixedReach, bool dashed, bool xMajor, class Sink>
void walkSteps(const LineRasterizer::Walk& walk, qsizetype stride, int first, int last, int minorFirst,
               int minorLast, double dash, const Sink& sink)
{
    const int reach = fixedReach ? fixedReach : walk.reach;
    const qsizetype majorStep = xMajor ? 1 : stride;
    const qsizetype minorStep = xMajor ? stride : 1;
    // Dashes are measured along the line from its start: the phase within a dash and its gap.
    const double direction = walk.uEnd > walk.uStart ? walk.along : -walk.along;
    double phase = dashed ? std::fmod(std::abs(first + 0.5 - walk.uStart) * walk.along, 2 * dash) : 0;
    qint64 v = walk.vAt(first);
    for (int u = first; u <= last; ++u, v += walk.fixedSlope) {
        if constexpr (dashed) {
            const bool gap = phase >= dash;
            phase += direction;
            phase += phase >= 2 * dash ? -2 * dash : phase < 0 ? 2 * dash : 0;
            if (gap)
                continue;
        }
        const qint64 top = v - walk.fixedHalf;
        const qint64 bottom = v + walk.fixedHalf;
        const qint64 m0 = top >> fractionBits;
        const qsizetype at = u * majorStep + m0 * minorStep;
        if (m0 >= minorFirst && m0 + reach - 1 <= minorLast) {
            if constexpr (fixedReach == 3) {
                // One to two pixels thick: the first pixel is covered from the top down, the third
                // by what reaches past the second.
                const qint64 past = top - (m0 << fractionBits) + 2 * walk.fixedHalf;
                sink.add(at, ((m0 + 1) << fractionBits) - top);
                sink.add(at + minorStep, std::min<qint64>(past - one, one));
                sink.add(at + 2 * minorStep, std::max<qint64>(past - 2 * one, 0));
            } else {
                for (int k = 0; k < reach; ++k)
                    sink.add(at + k * minorStep, share(m0 + k, top, bottom));
            }
        } else {
            for (int k = 0; k < reach; ++k)
                if (m0 + k >= minorFirst && m0 + k <= minorLast)
                    sink.add(at + k * minorStep, share(m0 + k, top, bottom));
        }
    }
}

// One line's pixels within the band. Every band steps from the same fixed-point start, so the line
// is continuous across bands.
template <int fixedReach, bool dashed, class Sink>
void walkLine(const Band& band, const LineRasterizer::Walk& walk, double dash, const Sink& sink,
              Touched* touched, const Spans* spans)
{
    int first = walk.first;
    int last = walk.last;
    int minorFirst = 0;
    int minorLast = band.width - 1;
    if (walk.xMajor) {
        minorFirst = band.first;
        minorLast = band.last - 1;
        if (!walk.across(minorFirst, minorLast, first, last))
            return;
    } else {
        first = std::max(first, band.first);
        last = std::min(last, band.last - 1);
        if (first > last)
            return;
    }
    if (touched) {
        const auto [low, high] = walk.spanAcross(first, last);
        const int across0 = std::max(minorFirst, low);
        const int across1 = std::min(minorLast, high);
        if (walk.xMajor)
            touched->add(first, across0, last, across1);
        else
            touched->add(across0, first, across1, last);
    }
    if constexpr (!dashed && std::is_same_v<Sink, Deepener>) {
        if (spans) {
            quint16* depth = walk.xMajor ? sink.depth : spans->across;
            const qsizetype stride = walk.xMajor ? band.stride : spans->acrossStride;
            const int groups = (last - first + 1) / spanSteps;
            sumSpans(depth, stride,
                     SpanLine{first, groups, walk.vAt(first) - walk.fixedHalf, walk.fixedSlope,
                              2 * walk.fixedHalf, minorFirst, minorLast},
                     spans->poly);
            walkSteps<fixedReach, false, true>(walk, stride, first + groups * spanSteps, last, minorFirst,
                                               minorLast, dash, Deepener{depth, sink.steps});
            return;
        }
    }
    if (walk.xMajor)
        walkSteps<fixedReach, dashed, true>(walk, band.stride, first, last, minorFirst, minorLast, dash,
                                            sink);
    else
        walkSteps<fixedReach, dashed, false>(walk, band.stride, first, last, minorFirst, minorLast, dash,
                                             sink);
}

// The lines' rows, apart from the rest of their walk so that every band can look through them quickly;
// none for a line with nothing to draw.
using Rows = std::pair<int, int>;

template <class Sink>
void walkLines(const Band& band, const std::vector<LineRasterizer::Walk>& walks,
               const std::vector<Rows>& rows, double dash, const Sink& sink, Touched* touched = nullptr,
               const Spans* spans = nullptr)
{
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].second < band.first || rows[i].first >= band.last)
            continue;
        const auto& walk = walks[i];
        if (dash > 0)
            walkLine<0, true>(band, walk, dash, sink, touched, spans);
        else if (walk.reach == 3)
            walkLine<3, false>(band, walk, dash, sink, touched, spans);
        else
            walkLine<0, false>(band, walk, dash, sink, touched, spans);
    }
}

} // namespace

LineRasterizer::LineRasterizer(GraphWorkPool* pool)
    : m_pool(pool)
{
}

LineRasterizer::~LineRasterizer() = default;

// Moves the transposed depths of the rows and columns within `touched` into the depths, leaving them zero.
void LineRasterizer::addAcross(const Touched& touched, qsizetype stride, qsizetype height)
{
    // Columns a few at a time, so that reading the transposed depths stays sequential.
    constexpr int columns = 16;
    for (int x0 = touched.left; x0 <= touched.right; x0 += columns) {
        const int x1 = std::min(x0 + columns - 1, touched.right);
        for (int y = touched.top; y <= touched.bottom; ++y) {
            quint16* row = m_depth.data() + y * stride;
            for (int x = x0; x <= x1; ++x) {
                quint16& across = m_across[std::size_t(x * height + y)];
                row[x] = quint16(std::min<quint32>(row[x] + across, maxDepth));
                across = 0;
            }
        }
    }
}

void LineRasterizer::stroke(QImage& image, const QList<QLineF>& lines, const QColor& color, double width,
                            double dash)
{
    Q_ASSERT(image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32);
    // Prepared once for all bands.
    const bool parallel = lines.size() >= parallelLines || [&] {
        const double most = std::max(image.width(), image.height());
        double length = 0;
        for (const auto& line : lines)
            length += std::min(std::max(std::abs(line.dx()), std::abs(line.dy())), most);
        return length >= parallelLength;
    }();
    m_walks.resize(std::size_t(lines.size()));
    m_rows.resize(std::size_t(lines.size()));
    const int chunks = int((lines.size() + walkChunk - 1) / walkChunk);
    inParallel(m_pool, parallel ? chunks : 1, [&](int chunk) {
        for (qsizetype i = qsizetype(chunk) * walkChunk;
             i < std::min(lines.size(), qsizetype(chunk + 1) * walkChunk); ++i) {
            auto& walk = m_walks[std::size_t(i)];
            walk = Walk(lines[i], width, image.size());
            m_rows[std::size_t(i)] = walk.empty() ? Rows{0, -1} : Rows{walk.top, walk.bottom};
        }
    });
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    const quint32 src = qPremultiply(color.rgba());
    if (!parallel) {
        walkLines(Band{stride, image.width(), 0, image.height()}, m_walks, m_rows, dash,
                  Blender{bits, src, quint32(255 - qAlpha(src))});
        return;
    }

    std::array<quint16, 257> steps;
    for (std::size_t cover = 0; cover < steps.size(); ++cover) {
        const double opacity = color.alphaF() * double(cover) / 256;
        steps[cover] =
            opacity >= 1
                ? quint16(maxDepth)
                : quint16(std::min<double>(std::lround(-std::log(1 - opacity) * depthUnit), maxDepth));
    }
    const std::size_t size = std::size_t(stride) * std::size_t(image.height());
    if (m_depth.size() != size)
        m_depth.assign(size, 0);
    // Under each depth, what is left of a pixel and what the colour adds at full opacity.
    const auto& remaining = remainingShares();
    const quint32 solid = color.rgb() | 0xff000000;
    m_added.resize(remaining.size());
    for (std::size_t i = 0; i < remaining.size(); ++i)
        m_added[i] = byteMul(solid, 255 - remaining[i]);
    const int height = image.height();
    std::optional<Spans> spans;
    if (const auto poly = dash == 0 ? spanPolynomial(color.alphaF()) : std::nullopt) {
        if (m_across.size() != std::size_t(image.width()) * std::size_t(height))
            m_across.assign(std::size_t(image.width()) * std::size_t(height), 0);
        spans = Spans{m_across.data(), height, *poly};
    }
    // Rows are cut into bands, a few per thread; each thread takes the next band not yet drawn, sums
    // every line into it, then blends it once.
    const int rows = std::clamp(height / (bandsPerThread * parallelParts(m_pool)), minBandRows, maxBandRows);
    const int bands = (height + rows - 1) / rows;
    inParallel(m_pool, bands, [&](int part) {
        const Band band{stride, image.width(), part * rows, std::min(height, (part + 1) * rows)};
        Touched touched;
        walkLines(band, m_walks, m_rows, dash, Deepener{m_depth.data(), &steps}, &touched,
                  spans ? &*spans : nullptr);
        if (spans)
            addAcross(touched, stride, height);
        for (int y = touched.top; y <= touched.bottom; ++y) {
            quint16* depth = m_depth.data() + y * stride;
            QRgb* pixels = bits + y * stride;
            for (int x = touched.left; x <= touched.right; ++x) {
                if (depth[x] == 0)
                    continue;
                const std::size_t i = (depth[x] + (1u << (depthShift - 1))) >> depthShift;
                pixels[x] = byteMul(pixels[x], remaining[i]) + m_added[i];
                depth[x] = 0;
            }
        }
    });
}

} // namespace morvane
