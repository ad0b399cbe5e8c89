#include "../../desktop/DesktopTestSupport.h"
#include "../QuickPanelTestSupport.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"
#include "quickpanel/widgets/QuickPanelResultList.h"
#include "quickpanel/widgets/QuickPanelResultRow.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <array>
#include <future>

namespace morvane {
namespace {

// Fonts need the application, so the card is measured once the tests run.
const auto rowCard = [] { return QRectF(20, 20, 360, quickPanelRowHeight()); };

QImage paintRow(const QuickPanelRowContent& content, QuickPanelRowState state)
{
    QImage image(400, int(rowCard().bottom()) + 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintQuickPanelRow(painter, content, rowCard(), state, test::appearanceService(Appearance::light).get());
    return image;
}

const QuickPanelRowContent webRowContent{
    QuickPanelRowKind::link, "Notes", "https://example.org", LinkType::web, {"a", "b"}, 0, "Firefox"};

QStringList shown(const QList<QuickPanelRowText>& texts)
{
    QStringList result;
    for (const QuickPanelRowText& text : texts)
        result.append(text.text);
    return result;
}

const auto isBlueish = [](const QColor& c) { return c.blue() - c.red() > 60; };

TEST(QuickPanelResultRowTests, SelectionShowsAnAccentOutlineAndAnAccentTile)
{
    const QRectF tile = layoutQuickPanelRow(webRowContent, rowCard()).iconTile;
    const QPoint topEdge(int(rowCard().center().x()), int(rowCard().top()));
    const QPoint tileCorner(int(tile.left()) + 4, int(tile.center().y()));

    const QImage selected = paintRow(webRowContent, {.selected = true});
    EXPECT_TRUE(isBlueish(selected.pixelColor(topEdge)));
    EXPECT_TRUE(isBlueish(selected.pixelColor(tileCorner)));

    const QImage plain = paintRow(webRowContent, {});
    EXPECT_FALSE(isBlueish(plain.pixelColor(topEdge)));
    EXPECT_LT(plain.pixelColor(topEdge).lightness(), 250) << "the hairline is drawn";
    EXPECT_GT(plain.pixelColor(tileCorner).red(), 200) << "a pale tile of the tint";
}

TEST(QuickPanelResultRowTests, MetaLineShowsTypeSourceAndTagsWhereTheLayoutSays)
{
    const QuickPanelRowLayout layout = layoutQuickPanelRow(webRowContent, rowCard());
    ASSERT_EQ(shown(layout.meta), (QStringList{"Web URL", "Firefox", "#a #b"}));

    // Each text matches the same text drawn alone in the tertiary ink on the same white.
    const QImage row = paintRow(webRowContent, {});
    for (const QuickPanelRowText& text : layout.meta) {
        QImage alone(row.size(), row.format());
        alone.fill(Qt::white);
        QPainter painter(&alone);
        painter.setFont(textFont(TextStyle::caption2));
        painter.setPen(paintColor(SystemColor::tertiaryLabel, nullptr));
        painter.drawText(text.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text.text);
        const QRect area = text.rect.toAlignedRect();
        ASSERT_FALSE(test::differenceBounds(alone.copy(area), row.copy(0, 0, area.width(), area.height()), 20)
                         .isNull())
            << "the text shows";
        EXPECT_TRUE(test::differenceBounds(row.copy(area), alone.copy(area), 24).isNull())
            << text.text.toStdString();
    }
}

TEST(QuickPanelResultRowTests, RowKindsDecideBadgeAndSourceAndLongTextsAreCutToFit)
{
    QuickPanelRowContent row = webRowContent;
    row.kind = QuickPanelRowKind::capture;
    row.title = QString(80, u'w');
    row.subtitle = QString(200, u's');
    row.linkedItemCount = 12;
    const QRectF narrow(10, 10, 260, quickPanelRowHeight());
    const QuickPanelRowLayout layout = layoutQuickPanelRow(row, narrow);
    ASSERT_TRUE(layout.badge && layout.linkCount);
    EXPECT_EQ(layout.badge->text, "Add");
    EXPECT_TRUE(layout.title.text.endsWith(u'…'));
    EXPECT_LE(layout.badge->rect.right(), layout.linkGlyph.left());

    // A title with line breaks stays on its line, whole, with its words apart.
    row.title = QStringLiteral("Weekly\nplan\r\nnotes");
    EXPECT_EQ(layoutQuickPanelRow(row, rowCard()).title.text, QStringLiteral("Weekly plan  notes"));

    row = {QuickPanelRowKind::fileMatch,
           "Report.pdf",
           "Same name: /a/Report.pdf",
           LinkType::file,
           {},
           0,
           "Finder"};
    const QuickPanelRowLayout matched = layoutQuickPanelRow(row, rowCard());
    EXPECT_EQ(matched.badge.value_or(QuickPanelRowText{}).text, "Possible match");
    EXPECT_EQ(shown(matched.meta), (QStringList{"File", "Morvane"}));
    EXPECT_FALSE(matched.linkCount);
}

// What is painted the same way around every card is kept from one paint to the next: a card of
// another size or in the other appearance must not be given what was kept for the last one.
TEST(QuickPanelResultRowTests, CardsOfAnotherSizeOrAppearanceGetTheirOwnShadowAndFill)
{
    const auto paint = [](QRectF card, Appearance appearance) {
        QImage image(420, int(card.bottom()) + 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintQuickPanelRow(painter, webRowContent, card, {}, test::appearanceService(appearance).get());
        return image;
    };
    const QRectF wide(20, 20, 360, quickPanelRowHeight());
    const QRectF narrow(20, 20, 300, quickPanelRowHeight());
    const int middle = int(wide.center().y());
    paint(wide, Appearance::light);
    const QImage narrowRow = paint(narrow, Appearance::light);
    EXPECT_LT(narrowRow.pixelColor(int(narrow.right()) + 1, middle).lightness(), 255) << "its shadow";
    EXPECT_EQ(narrowRow.pixelColor(int(narrow.right()) + 30, middle), QColor(Qt::white));
    EXPECT_EQ(narrowRow.pixelColor(int(wide.right()) - 1, middle), QColor(Qt::white))
        << "no trace of the wide card's outline";
    EXPECT_EQ(narrowRow.pixelColor(int(narrow.right()) - 3, int(narrow.bottom()) - 12),
              paint(QRectF(20, 20.5, 300, quickPanelRowHeight()), Appearance::light)
                  .pixelColor(int(narrow.right()) - 3, int(narrow.bottom()) - 12))
        << "the card's fill matches a card painted between pixels";

    const QImage dark = paint(narrow, Appearance::dark);
    EXPECT_LT(dark.pixelColor(int(narrow.right()) - 3, middle).lightness(),
              narrowRow.pixelColor(int(narrow.right()) - 3, middle).lightness() - 100);
}

// A row names a folder saved on a Mac by what it is here; the item keeps the stored name.
TEST(QuickPanelRowContent, ShowsTheLinuxNameOfTheSourceApplication)
{
    LinkItem folder = test::webLink("Projects");
    folder.sourceApp = "Finder";
    EXPECT_EQ(quickPanelRowContent(PanelResult::link(folder)).sourceApp, "File Manager");
    EXPECT_EQ(quickPanelRowContent(PanelResult::capture(test::webContext("Inbox", "Mail"))).sourceApp,
              "Mail");
    EXPECT_EQ(quickPanelRowContent(PanelResult::capture(test::webContext("Docs", "Finder"))).sourceApp,
              "File Manager");
}

// Pixels outside the card where the row laid from kept images differs from its layers painted
// straight. A mirrored painter paints them straight (it is not a translation), and the card's shapes
// are symmetric, so outside the card its row is the plain row reversed.
int shadowPixelsUnlikeStraight(QSizeF size, bool selected)
{
    const QRectF card(QPointF(20, 20), size);
    const int imageWidth = int(size.width()) + 40;
    const auto paint = [&](bool mirrored) {
        QImage image(imageWidth, int(card.bottom()) + 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        if (mirrored)
            painter.setTransform(QTransform(-1, 0, 0, 1, imageWidth, 0));
        paintQuickPanelRow(painter, webRowContent, card, {.selected = selected},
                           test::appearanceService(Appearance::light).get());
        return image;
    };
    releaseQuickPanelRowImages();
    const QImage laid = paint(false);
    const QImage straight = paint(true);
    int differing = 0;
    for (int y = 0; y < laid.height(); ++y)
        for (int x = 0; x < laid.width(); ++x)
            if (!card.adjusted(-1, -1, 1, 1).contains(QPointF(x + 0.5, y + 0.5)))
                differing += laid.pixel(x, y) != straight.pixel(imageWidth - 1 - x, y);
    return differing;
}

// The shadow around a card is laid from images kept between paints, made from a small painting of each
// layer: what lands on the row must be the very pixels of its layers painted straight onto it, at
// every size.
TEST(QuickPanelResultRowTests, AShadowLaidFromKeptImagesIsTheShadowPaintedStraightAtEveryWidth)
{
    // Cards narrower or lower than the images are made for, at that size and past it, and wide ones.
    const std::array<QSizeF, 7> sizes = {QSizeF(16, quickPanelRowHeight()),
                                         QSizeF(19, quickPanelRowHeight()),
                                         QSizeF(48, 48),
                                         QSizeF(49, 49),
                                         QSizeF(50, 52),
                                         QSizeF(120, quickPanelRowHeight()),
                                         QSizeF(361, 75)};
    for (const bool selected : {false, true})
        for (const QSizeF size : sizes)
            EXPECT_EQ(shadowPixelsUnlikeStraight(size, selected), 0)
                << (selected ? "selected, " : "") << size.width() << "x" << size.height();
}

// The shadows' paintings can be made ahead on another thread and handed over; rows laid from them are
// the rows laid from the main thread's own.
TEST(QuickPanelResultRowTests, ShadowsPaintedAheadOnAnotherThreadAreTheShadowsTheRowsPaint)
{
    QuickPanelRowPatches patches = std::async(std::launch::async, &paintQuickPanelRowShadowPatches).get();
    ASSERT_EQ(patches.size(), 2);
    keepQuickPanelRowPatches(std::move(patches));
    for (const bool selected : {false, true})
        EXPECT_EQ(shadowPixelsUnlikeStraight(QSizeF(300, quickPanelRowHeight()), selected), 0)
            << (selected ? "selected" : "plain");
}

} // namespace
} // namespace morvane
