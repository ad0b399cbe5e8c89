#include "../VectorPathTest.h"
#include "graph/GraphWorkPool.h"
#include "graph/widgets/LineRasterizer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>

namespace morvane {
namespace {

constexpr double width = 1.15;

QImage blank(QColor color = Qt::black)
{
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// White over black: how many pixels' worth the lines cover.
double coveredArea(const QImage& image)
{
    double area = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            area += qRed(image.pixel(x, y)) / 255.0;
    return area;
}

// The largest difference of any channel between two images, and how many pixels of the second differ
// from the background.
std::pair<int, int> compare(const QImage& one, const QImage& other, QColor background)
{
    int worst = 0;
    int changed = 0;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            const QRgb a = one.pixel(x, y);
            const QRgb b = other.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
            changed += b != background.rgb();
        }
    }
    return {worst, changed};
}

// Lines between points spread evenly over the area, which reaches past the image.
QList<QLineF> randomLines(std::mt19937& random, int count, const QRectF& area)
{
    std::uniform_real_distribution<double> x(area.left(), area.right());
    std::uniform_real_distribution<double> y(area.top(), area.bottom());
    QList<QLineF> lines;
    for (int i = 0; i < count; ++i)
        lines.append(QLineF(x(random), y(random), x(random), y(random)));
    return lines;
}

// Lines from far outside the image that cross it, one mostly along x and one mostly along y, and what
// of them lies inside: (0, 0)–(300, 150) and (127.5, 0)–(142.5, 200).
const QList<QLineF> crossing{QLineF(-100, -50, 500, 250), QLineF(120, -100, 150, 300)};
const double insideLength = std::hypot(300, 150) + std::hypot(15, 200);

// The bands of rows are drawn on a pool, as in the window, and the summing loop on each vector path.
class LineRasterizerTests : public VectorPathTest {
protected:
    GraphWorkPool pool{4};
};
INSTANTIATE_TEST_SUITE_P(VectorPaths, LineRasterizerTests, VectorPathTest::paths(), VectorPathTest::name);

TEST_P(LineRasterizerTests, CoversTheThicknessAlongWhatCrossesTheImageAndNoMore)
{
    LineRasterizer rasterizer(&pool);
    QImage one = blank();
    rasterizer.stroke(one, crossing, Qt::white, width);
    EXPECT_NEAR(coveredArea(one), insideLength * width, 0.02 * insideLength * width);
    // The first line again, from ends as far out as a deep zoom into a large graph puts them.
    QImage far = blank();
    rasterizer.stroke(far, {crossing[0]}, Qt::white, width);
    const double near = coveredArea(far);
    far = blank();
    rasterizer.stroke(far, {QLineF(-4e7, -2e7, 6e7, 3e7)}, Qt::white, width);
    EXPECT_NEAR(coveredArea(far), near, 1);

    // Enough lines to be shared out among threads by bands of rows: the others lie wholly outside.
    QList<QLineF> many = crossing;
    for (int i = 0; i < 400; ++i)
        many.append(QLineF(-50 - i, 10, -400, 190));
    QImage banded = blank();
    rasterizer.stroke(banded, many, Qt::white, width);
    EXPECT_NEAR(coveredArea(banded), coveredArea(one), 2);

    QImage dashed = blank();
    rasterizer.stroke(dashed, {QLineF(50, 100.5, 250, 100.5)}, Qt::white, width, 5);
    EXPECT_NEAR(coveredArea(dashed), 100 * width, 6);
}

// Translucent lines piling up: summed at once, they look as blended one after another, whether few
// lines cross a pixel or so many that it shows their colour alone, whatever their slope and opacity.
TEST_P(LineRasterizerTests, ManyLinesAtOnceMatchBlendingThemOneByOne)
{
    std::mt19937 random(3);
    const QList<QLineF> lines = randomLines(random, 600, QRectF(-400, -300, 1100, 800));
    // Chords of a circle crowding its middle, as new nodes waiting on a circle draw their edges.
    std::uniform_real_distribution<double> angle(0, 2 * M_PI);
    QList<QLineF> chords;
    for (int i = 0; i < 3000; ++i) {
        const double a = angle(random);
        const double b = angle(random);
        chords.append(QLineF(150 + 120 * std::cos(a), 100 + 120 * std::sin(a), 150 + 120 * std::cos(b),
                             100 + 120 * std::sin(b)));
    }
    // Where hundreds of lines cross a pixel, its depth is rounded hundreds of times: two levels more.
    struct Case {
        const QList<QLineF>* lines;
        double width;
        double opacity;
        int tolerance;
    };
    for (const auto& [lines, lineWidth, opacity, tolerance] :
         {Case{&lines, width, 0.22, 4}, Case{&lines, 3.2, 0.22, 4}, Case{&lines, width, 0.66, 4},
          Case{&chords, width, 0.22, 6}, Case{&chords, 1.6, 0.32, 6}}) {
        const QColor slate = QColor::fromRgbF(0.34f, 0.44f, 0.56f, float(opacity));
        LineRasterizer rasterizer(&pool);
        QImage atOnce = blank(QColor(250, 248, 240));
        rasterizer.stroke(atOnce, *lines, slate, lineWidth);
        QImage oneByOne = blank(QColor(250, 248, 240));
        for (const auto& line : *lines)
            rasterizer.stroke(oneByOne, {line}, slate, lineWidth);

        const auto [worst, changed] = compare(atOnce, oneByOne, QColor(250, 248, 240));
        EXPECT_LE(worst, tolerance) << lineWidth << " " << opacity;
        EXPECT_GT(changed, atOnce.width() * atOnce.height() / 3) << lineWidth << " " << opacity;
    }
}

// Faint lines that stop anywhere within the runs of steps summed together, end on the image's edges or
// run along them, at slopes from none to exactly one: summed together, each of their pixels is drawn
// as when they are blended one by one.
TEST_P(LineRasterizerTests, FaintLinesSummedTogetherKeepEveryStep)
{
    QList<QLineF> alongX;
    QList<QLineF> alongY;
    for (int i = 0; i < 95; ++i) {
        const double start = i % 13 - 3;
        const double rise = (i % 5) * 0.45;
        alongX.append(QLineF(start, 3 + 2 * i, 300 - i % 11 + 2, 3 + 2 * i + rise));
        alongY.append(QLineF(3 + 3 * i, start, 3 + 3 * i + rise, 200 - i % 11 + 2));
    }
    for (auto* lines : {&alongX, &alongY})
        lines->append({QLineF(0, 0, 200, 200), QLineF(299.5, 0.5, 100.5, 199.5), QLineF(0, 0.5, 300, 0.5),
                       QLineF(299.5, 0, 299.5, 200)});
    const QColor slate = QColor::fromRgbF(0.34f, 0.44f, 0.56f, 0.22f);
    for (const auto* lines : {&alongX, &alongY}) {
        LineRasterizer rasterizer(&pool);
        QImage atOnce = blank(Qt::white);
        rasterizer.stroke(atOnce, *lines, slate, width);
        QImage oneByOne = blank(Qt::white);
        for (const auto& line : *lines)
            rasterizer.stroke(oneByOne, {line}, slate, width);
        const auto [worst, changed] = compare(atOnce, oneByOne, Qt::white);
        EXPECT_LE(worst, 3) << (lines == &alongX ? "along x" : "along y");
        EXPECT_GT(changed, 16000);
    }
}

// Faint lines every way, summed on the portable path and on the widest the processor has: the same
// picture, within what the rounding of depths allows anywhere.
TEST(LineRasterizerPathTests, EveryVectorPathDrawsAlike)
{
    std::mt19937 random(7);
    const QList<QLineF> lines = randomLines(random, 1500, QRectF(-100, -100, 500, 400));
    const QColor slate = QColor::fromRgbF(0.34f, 0.44f, 0.56f, 0.22f);
    GraphWorkPool pool(4);
    const auto [portable, widest] = onEachVectorPath([&] {
        LineRasterizer rasterizer(&pool);
        QImage image = blank(Qt::white);
        rasterizer.stroke(image, lines, slate, width);
        return image;
    });
    const auto [worst, changed] = compare(portable, widest, Qt::white);
    EXPECT_LE(worst, 3);
    EXPECT_GT(changed, 16000);
}

} // namespace
} // namespace morvane
