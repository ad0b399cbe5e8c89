#include "../../desktop/DesktopTestSupport.h"
#include "desktop/PaintColors.h"
#include "desktop/TextStyle.h"
#include "quickpanel/widgets/QuickPanelResultRow.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// Fonts need the application, so the card is measured once the tests run.
QRectF rowCard()
{
    return QRectF(20, 20, 360, quickPanelRowHeight());
}

QImage paintRow(const QuickPanelRowContent& content, QuickPanelRowState state, const QRectF& at = rowCard())
{
    QImage image(400, int(at.bottom()) + 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    const auto appearance = test::appearanceService(Appearance::light);
    paintQuickPanelRow(painter, content, at, state, appearance.get());
    return image;
}

QuickPanelRowContent webLink()
{
    return {QuickPanelRowKind::link,
            QStringLiteral("Release notes"),
            QStringLiteral("https://example.org/notes"),
            LinkType::web,
            {QStringLiteral("a"), QStringLiteral("b")},
            0,
            QStringLiteral("Firefox")};
}

QStringList shownTexts(const QList<QuickPanelRowText>& texts)
{
    QStringList shown;
    for (const QuickPanelRowText& text : texts)
        shown.append(text.text);
    return shown;
}

bool isBlueish(const QColor& c)
{
    return c.blue() - c.red() > 60;
}

TEST(QuickPanelResultRowTests, SelectionShowsAnAccentOutlineAndAnAccentTile)
{
    const QRectF card = rowCard();
    const QuickPanelRowLayout layout = layoutQuickPanelRow(webLink(), card);
    const QPoint topEdge(int(card.center().x()), int(card.top()));
    const QPoint tileCorner(int(layout.iconTile.left()) + 4, int(layout.iconTile.center().y()));

    const QImage selected = paintRow(webLink(), {.selected = true});
    EXPECT_TRUE(isBlueish(selected.pixelColor(topEdge))) << selected.pixelColor(topEdge).name().toStdString();
    EXPECT_TRUE(isBlueish(selected.pixelColor(tileCorner)));
    EXPECT_LT(selected.pixelColor(tileCorner).red(), 90);
    // The shadow falls below the card, not above it.
    EXPECT_LT(selected.pixelColor(topEdge.x(), int(card.bottom()) + 3).lightness(),
              selected.pixelColor(topEdge.x(), int(card.top()) - 3).lightness());

    const QImage plain = paintRow(webLink(), {});
    const QColor plainEdge = plain.pixelColor(topEdge);
    EXPECT_FALSE(isBlueish(plainEdge));
    EXPECT_LT(plainEdge.lightness(), 250) << "the hairline is drawn";
    EXPECT_GT(plain.pixelColor(tileCorner).red(), 200) << "a pale tile of the tint";
}

TEST(QuickPanelResultRowTests, MetaLineShowsTypeSourceAndTagsWhereTheLayoutSays)
{
    const QRectF card = rowCard();
    const QuickPanelRowLayout layout = layoutQuickPanelRow(webLink(), card);
    ASSERT_EQ(shownTexts(layout.meta), (QStringList{"Web URL", "Firefox", "#a #b"}));
    EXPECT_LT(layout.meta[0].rect.right(), layout.meta[1].rect.left());
    EXPECT_LT(layout.meta[1].rect.right(), layout.meta[2].rect.left());

    // Each text matches the same text drawn alone in the tertiary ink on the same white.
    const QImage row = paintRow(webLink(), {});
    for (const QuickPanelRowText& text : layout.meta) {
        QImage alone(row.size(), row.format());
        alone.fill(Qt::white);
        QPainter painter(&alone);
        painter.setFont(textFont(TextStyle::caption2));
        painter.setPen(paintColor(SystemColor::tertiaryLabel, nullptr));
        painter.drawText(text.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text.text);
        painter.end();
        const QRect area = text.rect.toAlignedRect();
        QImage blank(area.size(), row.format());
        blank.fill(Qt::white);
        ASSERT_FALSE(test::differenceBounds(alone.copy(area), blank, 20).isNull()) << text.text.toStdString();
        EXPECT_TRUE(test::differenceBounds(row.copy(area), alone.copy(area), 24).isNull())
            << text.text.toStdString();
    }
}

TEST(QuickPanelResultRowTests, RowKindsDecideBadgeSourceAndCount)
{
    const QRectF card = rowCard();
    QuickPanelRowContent capture = webLink();
    capture.kind = QuickPanelRowKind::capture;
    capture.tags.clear();
    const QuickPanelRowLayout captured = layoutQuickPanelRow(capture, card);
    ASSERT_TRUE(captured.badge);
    EXPECT_EQ(captured.badge->text, "Add");
    EXPECT_EQ(shownTexts(captured.meta), (QStringList{"Web URL", "Firefox"}));
    EXPECT_FALSE(captured.linkCount);

    QuickPanelRowContent match{QuickPanelRowKind::fileMatch,
                               "Report.pdf",
                               "Same name: /home/a/Report.pdf",
                               LinkType::file,
                               {},
                               3,
                               "Finder"};
    const QuickPanelRowLayout matched = layoutQuickPanelRow(match, card);
    ASSERT_TRUE(matched.badge);
    EXPECT_EQ(matched.badge->text, "Possible match");
    EXPECT_EQ(shownTexts(matched.meta), (QStringList{"File", "Morvane"}));
    ASSERT_TRUE(matched.linkCount);
    EXPECT_EQ(matched.linkCount->text, "3");

    QuickPanelRowContent bare = webLink();
    bare.sourceApp.clear();
    bare.tags.clear();
    EXPECT_EQ(shownTexts(layoutQuickPanelRow(bare, card).meta), QStringList{"Web URL"});
}

TEST(QuickPanelResultRowTests, LongTextsAreCutToFitTheCard)
{
    QuickPanelRowContent content{
        QuickPanelRowKind::capture, QString("Press Enter to add: ") + QString(80, u'w'),
        QString(200, u's'),         LinkType::mail,
        {QString(60, u't'), "x"},   12,
        QString(40, u'M')};
    const QRectF narrow(10, 10, 260, quickPanelRowHeight());
    const QuickPanelRowLayout layout = layoutQuickPanelRow(content, narrow);
    const QRectF inside = narrow.adjusted(0, 0, 1, 0);

    EXPECT_TRUE(layout.title.text.endsWith(u'…'));
    ASSERT_TRUE(layout.badge && layout.linkCount);
    EXPECT_LE(layout.title.rect.right(), layout.badge->rect.left());
    EXPECT_LE(layout.badge->rect.right(), layout.linkGlyph.left());
    EXPECT_EQ(layout.linkCount->text, "12");
    EXPECT_TRUE(inside.contains(layout.linkCount->rect));
    EXPECT_TRUE(layout.subtitle.text.endsWith(u'…'));
    EXPECT_TRUE(inside.contains(layout.subtitle.rect));
    ASSERT_FALSE(layout.meta.isEmpty());
    EXPECT_EQ(layout.meta[0].text, "Mail Message");
    for (const QuickPanelRowText& text : layout.meta)
        EXPECT_TRUE(inside.contains(text.rect)) << text.text.toStdString();
    EXPECT_TRUE(inside.contains(layout.iconTile));
}

} // namespace
} // namespace morvane
