#include "../QuickPanelTestSupport.h"
#include "FakeAppPresence.h"
#include "FakeLoginItem.h"
#include "quickpanel/widgets/QuickPanelController.h"
#include "quickpanel/widgets/QuickPanelResultList.h"
#include "quickpanel/widgets/QuickPanelView.h"
#include "quickpanel/widgets/QuickPanelWindow.h"
#include "services/PreferencesStore.h"

#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// The real panel window and its controller over a model with three saved links, offscreen.
class QuickPanelControllerTest : public ::testing::Test {
protected:
    QuickPanelControllerTest()
    {
        panel.save(links);
        PreferencesStore::Services services;
        services.defaults = panel.defaults;
        services.calendarStore = panel.calendars;
        services.contactStore = panel.contacts;
        services.loginItem = std::make_shared<test::FakeLoginItem>();
        preferences = std::make_unique<PreferencesStore>(std::move(services));
        controller = std::make_unique<QuickPanelController>(presence, preferences->settings(), panel.model,
                                                            panel.clock);
    }

    // Shows the panel with every link listed and the search field focused.
    void showListingLinks()
    {
        controller->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window()));
        panel.type(QStringLiteral("example"));
        ASSERT_EQ(panel.model.state().results().size(), links.size());
    }

    QuickPanelWindow* window() const { return controller->window(); }
    QWindow* native() const { return window()->windowHandle(); }
    QLineEdit* searchField() const
    {
        return static_cast<QuickPanelView*>(window()->content())->searchField();
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(native(), key, modifiers);
        panel.settle();
    }
    // Wheel events as the window system delivers them: to the window, which hands them on.
    void wheel(QPoint pixelDelta, QPoint angleDelta)
    {
        const QPointF at(window()->width() / 2.0, window()->height() / 2.0);
        QWheelEvent event(at, native()->mapToGlobal(at), pixelDelta, angleDelta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(native(), &event);
    }

    test::PanelFixture panel;
    QList<LinkItem> links{test::webLink(QStringLiteral("Alpha")), test::webLink(QStringLiteral("Beta")),
                          test::webLink(QStringLiteral("Gamma"))};
    test::FakeAppPresence presence;
    std::unique_ptr<PreferencesStore> preferences;
    std::unique_ptr<QuickPanelController> controller;
};

TEST_F(QuickPanelControllerTest, TheWindowIsBuiltOnceAndEveryShowStartsAgainFromSearching)
{
    QSignalSpy shows(controller.get(), &QuickPanelController::willShow);
    QSignalSpy settings(controller.get(), &QuickPanelController::settingsRequested);
    EXPECT_EQ(window(), nullptr);
    showListingLinks();
    QuickPanelWindow* first = window();
    EXPECT_TRUE(searchField()->hasFocus());
    press(Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(settings.count(), 1) << "the settings shortcut is the application's to answer";

    // Hiding puts the model back to searching; the window survives for the next show.
    panel.model.newLink().begin();
    controller->hide();
    panel.settle();
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(panel.model.state().mode().is(QuickPanelMode::Kind::search));

    controller->toggle();
    EXPECT_EQ(window(), first);
    EXPECT_TRUE(first->isVisible());
    controller->toggle();
    EXPECT_FALSE(first->isVisible());

    // Minimized from its title bar, the panel is out of sight: the hot key brings it back.
    controller->show();
    first->showMinimized();
    controller->toggle();
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isMinimized());
    // Every show announces itself, also one that only brings a hidden or minimized panel back.
    EXPECT_EQ(shows.count(), 4);
}

// A press hides the panel on screen whether or not the desktop gave it the keyboard (GNOME Shell
// shows a panel that a command opened without it). Only a panel the compositor keeps out of sight is
// asked for again, and then it keeps what it holds.
TEST_F(QuickPanelControllerTest, APressHidesThePanelOnScreenUnlessTheCompositorKeepsItOutOfSight)
{
    presence.activates = false;
    controller->show();
    panel.clock->advance(std::chrono::milliseconds(1500));
    ASSERT_TRUE(window()->isVisible());
    ASSERT_FALSE(window()->isActiveWindow());
    controller->toggle();
    EXPECT_FALSE(window()->isVisible());

    presence.activates = true;
    controller->toggle();
    panel.model.newLink().begin();
    presence.covered = true;
    QSignalSpy shows(controller.get(), &QuickPanelController::willShow);
    controller->toggle();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(shows.count(), 1);
    EXPECT_TRUE(panel.model.state().mode().is(QuickPanelMode::Kind::add));

    presence.covered = false;
    controller->toggle();
    EXPECT_FALSE(window()->isVisible());
}

// sway answers from another thread: the press is decided by the answer when it comes. A press before
// then is the same press again, and a show or hide made meanwhile has the last word.
TEST_F(QuickPanelControllerTest, APressOverAShownPanelIsDecidedWhenTheCompositorAnswers)
{
    controller->show();
    panel.model.newLink().begin();
    presence.answersLater = true;
    QSignalSpy shows(controller.get(), &QuickPanelController::willShow);
    controller->toggle();
    controller->toggle();
    EXPECT_EQ(presence.coveredQuestions, 1);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(shows.count(), 0);
    presence.answer(true);
    panel.settle();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(shows.count(), 1) << "covered: mapped afresh, once";
    EXPECT_TRUE(panel.model.state().mode().is(QuickPanelMode::Kind::add));

    controller->toggle();
    EXPECT_TRUE(window()->isVisible());
    presence.answer(false);
    panel.settle();
    EXPECT_FALSE(window()->isVisible());

    // Escape and a command while the question is out: the panel stays as they left it.
    controller->toggle();
    controller->toggle();
    controller->hide();
    controller->show();
    presence.answer(false);
    panel.settle();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(presence.coveredQuestions, 3);

    // The answer may outlive the controller.
    controller->toggle();
    controller.reset();
    presence.answer(true);
    panel.settle();
}

TEST_F(QuickPanelControllerTest, TheContextIsReadAgainEachSecondOnlyWhileThePanelShows)
{
    // The captures made by the timer alone over three seconds, after the step.
    const auto timedCaptures = [this](const std::function<void()>& step) {
        step();
        panel.settle();
        const int before = panel.frontmost->asked;
        panel.clock->advance(std::chrono::milliseconds(3000));
        return panel.frontmost->asked - before;
    };
    EXPECT_EQ(timedCaptures([this] { controller->show(); }), 3);
    // A second show replaces the timer rather than adding one.
    EXPECT_EQ(timedCaptures([this] { controller->show(); }), 3);
    EXPECT_EQ(timedCaptures([this] { controller->hide(); }), 0);
}

TEST_F(QuickPanelControllerTest, KeysReachTheRulesOnceAheadOfTheFocusedField)
{
    showListingLinks();
    QSignalSpy moves(&panel.model.state(), &QuickPanelState::selectedIndexChanged);
    press(Qt::Key_Down);
    EXPECT_EQ(panel.model.state().selectedIndex(), 1);
    EXPECT_EQ(moves.count(), 1);

    // Keys the rules leave alone are typed into the field.
    press(Qt::Key_S);
    EXPECT_EQ(searchField()->text(), QStringLiteral("examples"));
    // Clicking a row selects it and leaves the typing where it was.
    QuickPanelResultList* list = static_cast<QuickPanelView*>(window()->content())->resultList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(0).center());
    EXPECT_EQ(panel.model.state().selectedIndex(), 0);
    press(Qt::Key_S);
    EXPECT_EQ(searchField()->text(), QStringLiteral("exampless"));

    // Command keys are the panel's, not the field's nor a shortcut's: the override is claimed.
    int shortcutFired = 0;
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_B)})
        QObject::connect(new QShortcut(keys, window()), &QShortcut::activated, [&] { ++shortcutFired; });
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier, QStringLiteral("c"));
    override.ignore();
    QCoreApplication::sendEvent(native(), &override);
    EXPECT_TRUE(override.isAccepted());

    panel.type(QStringLiteral("example"));
    panel.model.state().selectResult(1);
    searchField()->selectAll();
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(panel.clipboard->written, QStringList{links[1].url});
    press(Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(panel.model.state().mode().is(QuickPanelMode::Kind::backlinks));
    EXPECT_EQ(shortcutFired, 0);

    // Another window of the application keeps its keys, though the panel still shows.
    QLineEdit elsewhere;
    elsewhere.show();
    QTest::keyClick(elsewhere.windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(window()->isVisible());

    press(Qt::Key_Escape);
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(QuickPanelControllerTest, TheWheelMovesTheSelectionByWholeSteps)
{
    showListingLinks();
    wheel({}, {0, -120});
    EXPECT_EQ(panel.model.state().selectedIndex(), 1);
    wheel({}, {0, 120});
    EXPECT_EQ(panel.model.state().selectedIndex(), 0);
    // A touchpad's 25 points down are two rows; a sideways swipe moves nothing.
    wheel({0, -25}, {0, -25});
    EXPECT_EQ(panel.model.state().selectedIndex(), 2);
    wheel({-40, 0}, {-40, 0});
    EXPECT_EQ(panel.model.state().selectedIndex(), 2);
}

TEST_F(QuickPanelControllerTest, CommandReturnOpensTheActionMenuOfTheSelection)
{
    showListingLinks();
    panel.model.state().selectResult(1);
    press(Qt::Key_Return, Qt::ControlModifier);
    QMenu* menu = nullptr;
    for (QMenu* open : window()->findChildren<QMenu*>())
        menu = open->isVisible() ? open : menu;
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (const QAction* action : menu->actions())
        titles.append(action->text());
    // The shortcut is shown beside its title only: a bound one would take the key from the panel.
    EXPECT_EQ(titles, (QStringList{"Open", QStringLiteral("Copy\tCtrl+C"), "Copy as", "Delete Link",
                                   "Link to Another Item", "Show Backlinks"}));
    EXPECT_TRUE(menu->actions().at(1)->shortcut().isEmpty());

    menu->actions().at(2)->menu()->actions().at(1)->trigger();
    EXPECT_EQ(panel.clipboard->written, QStringList{QStringLiteral("[Beta](https://beta.example/)")});
}

// Every way of opening a row hides the panel once the item opened, as Return does.
TEST_F(QuickPanelControllerTest, ADoubleClickOrTheRowMenusOpenHidesThePanel)
{
    showListingLinks();
    auto* list = window()->findChild<QuickPanelResultList*>();
    ASSERT_NE(list, nullptr);
    const QPoint row = list->rowRect(1).center();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
    panel.settle();
    ASSERT_EQ(panel.opened.size(), 1);
    EXPECT_EQ(panel.opened[0].title, QStringLiteral("Beta"));
    EXPECT_FALSE(window()->isVisible());

    showListingLinks();
    std::unique_ptr<QMenu> menu = list->rowMenu(list->rowRect(2).center());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().at(0)->text(), QStringLiteral("Open"));
    menu->actions().at(0)->trigger();
    panel.settle();
    ASSERT_EQ(panel.opened.size(), 2);
    EXPECT_EQ(panel.opened[1].title, QStringLiteral("Gamma"));
    EXPECT_FALSE(window()->isVisible());
}

TEST_F(QuickPanelControllerTest, KeysTypedBeforeTheSearchAnsweredActOnARowOfWhatWasTyped)
{
    showListingLinks();
    searchField()->selectAll();
    QTest::keyClicks(searchField(), QStringLiteral("Gamma"));
    QTest::keyClick(native(), Qt::Key_Return);
    panel.settle();
    ASSERT_EQ(panel.opened.size(), 1);
    EXPECT_EQ(panel.opened[0].title, QStringLiteral("Gamma"));
    EXPECT_FALSE(window()->isVisible());

    // So do the other keys that act on the selection.
    showListingLinks();
    searchField()->selectAll();
    QTest::keyClicks(searchField(), QStringLiteral("Beta"));
    QTest::keyClick(native(), Qt::Key_C, Qt::ControlModifier);
    panel.settle();
    EXPECT_EQ(panel.clipboard->written, QStringList{links[1].url});
}

TEST_F(QuickPanelControllerTest, APendingDeletionTakesEveryKeyAndReturnDeletesWithoutOpening)
{
    showListingLinks();
    press(Qt::Key_Backspace, Qt::ControlModifier);
    ASSERT_TRUE(panel.model.commands().pendingDeleteItem().has_value());

    press(Qt::Key_X);
    press(Qt::Key_Down);
    wheel({}, {0, -120});
    EXPECT_EQ(searchField()->text(), QStringLiteral("example"));
    EXPECT_EQ(panel.model.state().selectedIndex(), 0);

    press(Qt::Key_Return);
    EXPECT_FALSE(panel.model.commands().pendingDeleteItem().has_value());
    EXPECT_EQ(panel.linkCount(), links.size() - 1);
    EXPECT_TRUE(panel.opened.isEmpty());
    EXPECT_TRUE(window()->isVisible());

    // Without a confirmation, Return opens the selection and the panel goes.
    press(Qt::Key_Return);
    EXPECT_EQ(panel.opened.size(), 1);
    EXPECT_FALSE(window()->isVisible());
}

} // namespace
} // namespace morvane
