#include "../../desktop/DesktopTestSupport.h"
#include "../QuickPanelTestSupport.h"
#include "desktop/DeleteConfirmationOverlay.h"
#include "desktop/PaintColors.h"
#include "desktop/SharedColors.h"
#include "quickpanel/widgets/QuickPanelAddForm.h"
#include "quickpanel/widgets/QuickPanelChrome.h"
#include "quickpanel/widgets/QuickPanelResultList.h"
#include "quickpanel/widgets/QuickPanelView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::PanelFixture;
using test::webLink;

struct ViewFixture : PanelFixture {
    std::unique_ptr<AppearanceService> appearance = test::appearanceService(Appearance::light);
    int activations = 0;
    QuickPanelView view{model, appearance.get(), countingActivations()};

    ViewFixture() { view.show(); }

    QuickPanelViewActions countingActivations()
    {
        QuickPanelViewActions actions;
        actions.activate = [this] { ++activations; };
        return actions;
    }

    QLabel* label(const char* name) const { return view.findChild<QLabel*>(QString::fromLatin1(name)); }
    bool showing(const char* name) const
    {
        QWidget* widget = view.findChild<QWidget*>(QString::fromLatin1(name));
        return widget && widget->isVisibleTo(&view);
    }
};

QImage rendered(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// What a label paints matches the text drawn alone in the label's font, ink and size.
::testing::AssertionResult paints(QLabel* label, const QString& text)
{
    if (!label)
        return ::testing::AssertionFailure() << "no such label";
    const QImage shown = rendered(label); // settles the label's ink first
    QLabel alone;
    alone.setTextFormat(Qt::PlainText);
    alone.setFont(label->font());
    alone.setPalette(label->palette());
    alone.setAlignment(label->alignment());
    alone.setWordWrap(label->wordWrap());
    alone.setText(text);
    alone.resize(label->size());
    if (shown == rendered(&alone))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "it does not paint \"" << text.toStdString() << "\"";
}

TEST(QuickPanelViewQuery, EveryChangeOfTheQueryReloadsOnce)
{
    ViewFixture fx;
    fx.settle();

    quint64 before = fx.model.search().listGeneration();
    QTest::keyClick(fx.view.searchField(), Qt::Key_A);
    fx.settle();
    EXPECT_EQ(fx.model.search().query(), "a");
    EXPECT_EQ(fx.model.search().listGeneration() - before, 1u) << "typing a character";

    // A writer that reloads on its own is not followed by a second reload.
    before = fx.model.search().listGeneration();
    fx.model.refreshActiveContext();
    fx.settle();
    EXPECT_EQ(fx.view.searchField()->text(), "");
    EXPECT_EQ(fx.model.search().listGeneration() - before, 1u) << "the model cleared the query and reloaded";

    // A writer that only writes gets its reload from the view.
    before = fx.model.search().listGeneration();
    fx.model.search().setQuery(QStringLiteral("notes"));
    fx.settle();
    EXPECT_EQ(fx.view.searchField()->text(), "notes");
    EXPECT_EQ(fx.model.search().listGeneration() - before, 1u) << "a query written from outside";
}

TEST(QuickPanelViewList, ClicksAndTheRowMenuActOnTheRowUnderThePointer)
{
    ViewFixture fx;
    const LinkItem alpha = webLink("Alpha"), beta = webLink("Beta");
    fx.save({alpha, beta}, {{alpha, beta}});
    fx.type(QStringLiteral("example"));
    ASSERT_EQ(fx.model.state().results().size(), 2);
    QuickPanelResultList* list = fx.view.resultList();
    const QPoint second = list->rowRect(1).center();
    const LinkItem secondLink = *fx.model.state().results()[1].item();

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(fx.model.state().selectedIndex(), 1);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(0).center());
    EXPECT_EQ(fx.model.state().selectedIndex(), 0);
    EXPECT_EQ(fx.activations, 1);
    EXPECT_EQ(list->rowAt(list->rowRect(0).bottomLeft() + QPoint(0, 3)), -1) << "the gap between cards";

    std::unique_ptr<QMenu> menu = list->rowMenu(second);
    ASSERT_TRUE(menu);
    QStringList items;
    QAction* remove = nullptr;
    for (QAction* action : menu->actions()) {
        items.append(action->text());
        if (action->text() == "Delete Link")
            remove = action;
    }
    EXPECT_EQ(items,
              (QStringList{"Open", "Copy", "Link to Another Item", "Show Backlinks", "", "Delete Link"}));
    EXPECT_EQ(fx.model.state().selectedIndex(), 0) << "opening the menu selects nothing";
    ASSERT_TRUE(remove);
    remove->trigger();
    EXPECT_EQ(fx.model.state().selectedIndex(), 1);
    ASSERT_TRUE(fx.model.commands().pendingDeleteItem());
    EXPECT_EQ(fx.model.commands().pendingDeleteItem()->id, secondLink.id);
    EXPECT_NE(fx.view.findChild<DeleteConfirmationOverlay*>(), nullptr);

    // The second row's relation to the first can go; the menu asks the selection before the click
    // moves it to the first row, where nothing could be removed.
    fx.model.commands().cancelDelete();
    fx.settle();
    ASSERT_TRUE(fx.model.commands().canRemoveRelation());
    menu = list->rowMenu(list->rowRect(0).center());
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->actions().at(2)->text(), "Remove Relation");
    menu->actions().at(2)->trigger();
    EXPECT_EQ(fx.model.state().selectedIndex(), 0);

    fx.type(QStringLiteral("nothing matches this"));
    EXPECT_FALSE(list->rowMenu(second)) << "no menu off the rows";
}

TEST(QuickPanelViewList, SelectionKeepsItsRowInViewAtTheEdgesAndInTheMiddle)
{
    ViewFixture fx;
    QList<LinkItem> links;
    for (int i = 0; i < 12; ++i)
        links.append(webLink(QStringLiteral("Link%1").arg(i)));
    fx.save(links);
    fx.type(QStringLiteral("example"));
    ASSERT_EQ(fx.model.state().results().size(), 12);
    QuickPanelResultList* list = fx.view.resultList();
    const QRect viewport = list->viewport()->rect();

    fx.model.state().selectResult(11);
    EXPECT_EQ(list->rowRect(11).bottom() + 12, viewport.bottom()) << "the last row sits at the bottom";
    fx.model.state().selectResult(5);
    EXPECT_LE(std::abs(list->rowRect(5).center().y() - viewport.center().y()), 1)
        << "a middle row in the middle";
    fx.model.state().selectResult(0);
    EXPECT_EQ(list->rowRect(0).top(), 12) << "the first row at the top";
    EXPECT_EQ(list->rowRect(3).height(), list->rowRect(0).height());

    // The first click of a double click scrolls its row to the middle; the pair still opens that row.
    const QPoint fourth = list->rowRect(3).center();
    const auto mouse = [&](QEvent::Type type) {
        QMouseEvent event(type, fourth, list->viewport()->mapToGlobal(fourth), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &event);
    };
    mouse(QEvent::MouseButtonPress);
    mouse(QEvent::MouseButtonRelease);
    ASSERT_NE(list->rowAt(fourth), 3) << "the first click did not move the row";
    mouse(QEvent::MouseButtonDblClick);
    EXPECT_EQ(fx.activations, 1);
    EXPECT_EQ(fx.model.state().selectedIndex(), 3);
}

// The list keeps each row's layout from one paint to the next; a row whose content changed under the
// same link (a relation added, so a count to show) is laid out again.
TEST(QuickPanelViewList, ARowIsPaintedAfreshWhenItsContentChanges)
{
    ViewFixture fx;
    const LinkItem alpha = webLink("Alpha"), beta = webLink("Beta");
    fx.save({alpha, beta});
    fx.type(QStringLiteral("alpha"));
    ASSERT_EQ(fx.model.state().results().size(), 1);
    QuickPanelResultList* list = fx.view.resultList();
    const QRect card = list->rowRect(0);
    const auto paintedRow = [&] { return rendered(list->viewport()).copy(card); };
    const auto rowAlone = [&] {
        QImage image(list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintQuickPanelRow(painter, quickPanelRowContent(fx.model.state().results()[0]), card,
                           {.selected = true}, fx.appearance.get());
        painter.end();
        return image.copy(card);
    };
    const QImage before = paintedRow();
    EXPECT_EQ(before, rowAlone());

    fx.save({}, {{alpha, beta}});
    fx.model.search().reload();
    fx.settle();
    ASSERT_EQ(fx.model.state().results()[0].linkedItemCount(), 1);
    EXPECT_NE(paintedRow(), before);
    EXPECT_EQ(paintedRow(), rowAlone());
}

TEST(QuickPanelViewTexts, BannerMessageBarAndFooterFollowThePanelState)
{
    ViewFixture fx;
    const CapturedContext mail{"Inbox", "message://%3Cid%40host%3E", LinkType::mail, "Mail", std::nullopt};
    fx.show({mail});
    ASSERT_TRUE(fx.model.tips().showsTipBanner());
    EXPECT_TRUE(fx.showing("banner"));
    EXPECT_TRUE(paints(fx.label("bannerText"), fx.model.state().message()));
    EXPECT_FALSE(fx.showing("messageText")) << "the banner's message is not repeated";
    EXPECT_TRUE(
        paints(fx.label("footerHint"), "Scroll · Double-click add   Return Add this item   Esc Cancel"));
    EXPECT_FALSE(fx.showing("linkCount")) << "a capture row has no saved link";

    const QString message = fx.model.state().message();
    QTest::mouseClick(fx.view.findChild<QAbstractButton*>("dismissTip"), Qt::LeftButton);
    EXPECT_FALSE(fx.showing("banner"));
    EXPECT_TRUE(fx.showing("messageText"));
    EXPECT_TRUE(paints(fx.label("messageText"), message));

    // A message longer than its two lines shows that more follows, also where it has no break.
    fx.model.newLink().begin();
    fx.model.newLink().setLocator(QString(300, u'x') + QStringLiteral(":y"));
    fx.model.newLink().save();
    fx.settle();
    const QStringList lines = static_cast<QuickPanelText*>(fx.label("messageText"))->limitedLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(u'…'));
    fx.model.reset();

    fx.show({test::webContext("Page")});
    EXPECT_TRUE(fx.await(fx.model.commands().activateSelection()));
    ASSERT_TRUE(fx.model.state().awaitingSoloCaptureDismiss());
    EXPECT_TRUE(paints(fx.label("footerHint"), "Return or Esc Close"));
    EXPECT_TRUE(fx.showing("linkCount"));
    EXPECT_TRUE(paints(fx.label("linkCount"), "0 linked"));

    fx.model.reset();
    fx.type(QStringLiteral("nothing matches this"));
    // The hints that do not fit the panel's width are left out whole, from the last one on; given the
    // room, all of them show.
    auto* footer = static_cast<QuickPanelHintLine*>(fx.label("footerHint"));
    const QStringList all{"Scroll · Click · Double-click open",
                          "Ctrl+N Add",
                          "Ctrl+K Link",
                          "Ctrl+B Backlinks",
                          "Ctrl+C Copy",
                          "Ctrl+Return More",
                          "Ctrl+Backspace Delete"};
    EXPECT_EQ(footer->hints(), all);
    const QStringList shown = footer->text().split("   ");
    EXPECT_EQ(shown, all.first(std::min(shown.size(), all.size())));
    EXPECT_LE(footer->fontMetrics().horizontalAdvance(footer->text()), footer->contentsRect().width());
    EXPECT_TRUE(paints(footer, footer->text()));
    footer->resize(footer->sizeHint());
    EXPECT_EQ(footer->text().split("   "), all);
    footer->resize(footer->fontMetrics().horizontalAdvance("Scroll · Click · Double-click open   Ctrl+N Ad"),
                   footer->height());
    EXPECT_EQ(footer->text(), "Scroll · Click · Double-click open");
    EXPECT_FALSE(fx.showing("linkCount"));
}

TEST(QuickPanelViewTexts, TheSearchTextStandsOutFromItsDarkCardUnderALightPalette)
{
    PanelFixture panel;
    const std::unique_ptr<AppearanceService> dark = test::appearanceService(Appearance::dark);
    QuickPanelView view{panel.model, dark.get()};
    const QColor ink = view.searchField()->palette().color(QPalette::Text);
    EXPECT_GT(std::abs(ink.lightnessF() - paintColor(SharedColors::cardFill, dark.get()).lightnessF()), 0.5);
}

TEST(QuickPanelViewAddForm, ReturnSavesFromTheFieldsAndShiftReturnBreaksTheNotes)
{
    ViewFixture fx;
    fx.model.newLink().begin();
    QuickPanelAddForm* form = fx.view.addForm();
    EXPECT_TRUE(form->isVisibleTo(&fx.view));
    EXPECT_FALSE(fx.view.resultList()->isVisibleTo(&fx.view));

    // Typing in the middle of a field leaves the cursor where the user put it.
    QTest::keyClicks(form->titleField(), "Sie");
    form->titleField()->setCursorPosition(2);
    QTest::keyClick(form->titleField(), Qt::Key_T);
    EXPECT_EQ(fx.model.newLink().title(), "Site");
    EXPECT_EQ(form->titleField()->cursorPosition(), 3);

    QTest::keyClicks(form->notesField(), "one");
    QTest::keyClick(form->notesField(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(form->notesField(), "two");
    EXPECT_EQ(fx.model.newLink().notes(), "one\ntwo");
    fx.settle();
    EXPECT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::add));

    // Without a locator the library refuses, and the form stays with its text and the reason.
    QTest::keyClick(form->notesField(), Qt::Key_Return);
    fx.settle();
    EXPECT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::add));
    EXPECT_TRUE(paints(fx.label("messageText"), "Enter a URL or file path."));

    QTest::keyClicks(form->locatorField(), "https://site.example/");
    QTest::keyClick(form->titleField(), Qt::Key_Return);
    fx.settle();
    EXPECT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::search));
    EXPECT_EQ(fx.linkCount(), 1);
    EXPECT_FALSE(form->isVisibleTo(&fx.view));

    fx.model.newLink().begin();
    EXPECT_EQ(form->titleField()->text(), "") << "the model cleared the fields";
    EXPECT_EQ(form->notesField()->toPlainText(), "");

    // The notes grow with their lines up to three, then scroll.
    const auto notesHeight = [&](const QString& notes) {
        fx.model.newLink().setNotes(notes);
        return form->notesField()->height();
    };
    const int two = notesHeight("1\n2"), three = notesHeight("1\n2\n3");
    EXPECT_LT(notesHeight("1"), two);
    EXPECT_LT(two, three);
    EXPECT_EQ(notesHeight("1\n2\n3\n4\n5"), three);
}

} // namespace
} // namespace morvane
