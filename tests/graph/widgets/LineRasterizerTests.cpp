#include "graph/widgets/LineRasterizer.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

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

// Lines from far outside the image that cross it, one mostly along x and one mostly along y, and what
// of them lies inside: (0, 0)–(300, 150) and (127.5, 0)–(142.5, 200).
const QList<QLineF> crossing{QLineF(-100, -50, 500, 250), QLineF(120, -100, 150, 300)};
const double insideLength = std::hypot(300, 150) + std::hypot(15, 200);

TEST(LineRasterizerTests, CoversTheThicknessAlongWhatCrossesTheImageAndNoMore)
{
    LineRasterizer rasterizer;
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

// Translucent lines piling up: summed at once, they look as blended one after another.
TEST(LineRasterizerTests, ManyLinesAtOnceMatchBlendingThemOneByOne)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<double> x(-400, 700);
    std::uniform_real_distribution<double> y(-300, 500);
    QList<QLineF> lines;
    for (int i = 0; i < 600; ++i)
        lines.append(QLineF(x(random), y(random), x(random), y(random)));
    for (const double lineWidth : {width, 3.2}) {
        const QColor slate = QColor::fromRgbF(0.34f, 0.44f, 0.56f, 0.22f);
        LineRasterizer rasterizer;
        QImage atOnce = blank(QColor(250, 248, 240));
        rasterizer.stroke(atOnce, lines, slate, lineWidth);
        QImage oneByOne = blank(QColor(250, 248, 240));
        for (const auto& line : lines)
            rasterizer.stroke(oneByOne, {line}, slate, lineWidth);

        int worst = 0;
        int changed = 0;
        for (int py = 0; py < atOnce.height(); ++py) {
            for (int px = 0; px < atOnce.width(); ++px) {
                const QRgb a = atOnce.pixel(px, py);
                const QRgb b = oneByOne.pixel(px, py);
                worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
                changed += b != qRgb(250, 248, 240);
            }
        }
        EXPECT_LE(worst, 4) << lineWidth;
        EXPECT_GT(changed, atOnce.width() * atOnce.height() / 2) << lineWidth;
    }
}

} // namespace
} // namespace morvane
