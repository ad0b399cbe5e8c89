#include "DesktopTestSupport.h"

#include "desktop/Glyphs.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"

#include "desktop/SharedColors.h"

#include <QCryptographicHash>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QSet>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(Glyphs, EveryGlyphDrawsItsOwnShapeInsideItsBoxInBothAppearances)
{
    const QRect box(8, 8, 32, 32);
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        const auto service = test::appearanceService(appearance);
        const QColor background = paintColor(SharedColors::backgroundTop, service.get());
        QImage blank(48, 48, QImage::Format_ARGB32_Premultiplied);
        blank.fill(background);

        QSet<QByteArray> drawings;
        for (int index = 0; index <= int(Glyph::reload); ++index) {
            const Glyph glyph = Glyph(index);
            QImage image = blank;
            QPainter painter(&image);
            paintGlyph(painter, glyph, box, paintColor(SystemColor::label, service.get()));
            painter.end();

            const QRect inked = test::differenceBounds(image, blank);
            EXPECT_TRUE(box.contains(test::differenceBounds(image, blank, 0)))
                << "glyph " << index << " spills out of its box";
            // Visible on this appearance's background, and not a speck.
            EXPECT_GE(inked.width(), 8) << "glyph " << index;
            EXPECT_GE(inked.height(), 8) << "glyph " << index;
            drawings.insert(QCryptographicHash::hash(
                QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()),
                QCryptographicHash::Sha256));
        }
        EXPECT_EQ(drawings.size(), int(Glyph::reload) + 1) << "two glyphs draw the same picture";
    }
}

TEST(Glyphs, TheKeyboardSignsOfTheHintsAreInTheTextFont)
{
    const QFont font = textFont(TextStyle::caption);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    const QFontMetrics metrics(font);
    for (const char32_t sign : std::u32string_view(U"↔←→↑↓·…“”"))
        EXPECT_TRUE(metrics.inFontUcs4(sign)) << "U+" << std::hex << unsigned(sign);
}

// An icon drawn from a glyph is drawn at the size asked for, and greyed as the style greys icons
// when it stands for something disabled.
TEST(Glyphs, AGlyphIconIsDrawnAtTheSizeAskedForAndGreyedWhenDisabled)
{
    const QIcon icon = glyphIcon(Glyph::gear, QColor(0, 0, 255));
    for (const int side : {16, 18, 64}) {
        const QImage normal = icon.pixmap(side, side).toImage();
        EXPECT_EQ(normal.size(), QSize(side, side));
        const QImage disabled = icon.pixmap(QSize(side, side), QIcon::Disabled).toImage();
        ASSERT_EQ(disabled.size(), normal.size());
        bool blue = false, greyed = true;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const QColor shown = disabled.pixelColor(x, y);
                blue |= normal.pixelColor(x, y).alpha() > 0 && normal.pixelColor(x, y).blue() > 200;
                greyed &= shown.alpha() == 0 || shown.blue() - shown.red() < 60;
            }
        EXPECT_TRUE(blue) << side;
        EXPECT_TRUE(greyed) << side;
    }
}

} // namespace
} // namespace morvane
