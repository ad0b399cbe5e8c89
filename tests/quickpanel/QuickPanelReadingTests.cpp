#include "QuickPanelTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Firefox in front, read over the bus, its reading held until the test answers it.
struct ReadingFixture : PanelFixture {
    ReadingFixture()
    {
        writeFile(".local/share/applications/firefox.desktop", "[Desktop Entry]\nName=Firefox\n");
        workspace->activate("org.mozilla.firefox", 42, "Page — Mozilla Firefox", "firefox");
        frontmost->reading = ApplicationReading::accessibilityBus;
    }
    // The panel opens while Firefox is being read.
    void showWhileReading()
    {
        frontmost->holdReading();
        frontmost->answer = {};
        model.refreshActiveContext();
        settle();
    }
    // The reading ends no longer standing for the window, and the next one is held.
    void answerSetAside()
    {
        frontmost->readAgain = true;
        frontmost->answerReading({}, true);
        settle();
        frontmost->readAgain = false;
    }
    void answer(QList<CapturedContext> read)
    {
        frontmost->answerReading({std::move(read), std::nullopt});
        settle();
    }
    const QString& message() const { return model.state().message(); }
};

const QString noContext = "No active context. Type to search all links.";

} // namespace

// Until the window in front has been read, the panel says it is reading it, not that nothing is in
// front; the list follows when the reading ends, with what it brought, or with nothing once the
// reading gave nothing or ran past its bound.
TEST(QuickPanelReading, ThePanelSaysItIsReadingUntilTheReadingEnds)
{
    ReadingFixture fx;
    fx.showWhileReading();
    EXPECT_EQ(fx.message(), "Reading Firefox…");
    EXPECT_TRUE(fx.model.state().results().isEmpty());
    fx.model.refreshIfContextChanged(); // the second's check while the reading goes on
    fx.settle();
    EXPECT_EQ(fx.message(), "Reading Firefox…");
    fx.answer({webContext("Page", "Firefox")});
    ASSERT_EQ(fx.model.state().results().size(), 1);
    EXPECT_EQ(fx.model.state().results().first().kind(), PanelResult::Kind::capture);
    EXPECT_EQ(fx.message(), "Press Enter to add this Firefox page. If other links exist, you can link it "
                            "next, or type to search.");

    fx.showWhileReading();
    fx.answer({});
    EXPECT_EQ(fx.message(), noContext);

    fx.showWhileReading();
    fx.clock->advance(QuickPanelContext::readingBound);
    fx.settle();
    EXPECT_EQ(fx.message(), noContext) << "a reading past its bound gave nothing";
    fx.answer({webContext("Late", "Firefox")});
    EXPECT_EQ(fx.message(), noContext) << "a late answer waits for the next capture";

    // An application whose name the desktop does not give.
    fx.workspace->activate("org.example.Reader", 43);
    fx.showWhileReading();
    EXPECT_EQ(fx.message(), "Reading the window in front…");
}

// Return while the window in front is being read is kept: it saves the capture row the reading
// brings, unless the user moved on meanwhile (another key, a query, another mode, the panel hidden);
// a reading that brings nothing leaves the panel open saying nothing could be read.
TEST(QuickPanelReading, ReturnDuringTheReadingActsOnlyOnTheCaptureItBrings)
{
    ReadingFixture fx;
    fx.showWhileReading();
    QCoro::Task<bool> enter = fx.model.commands().activateSelection();
    fx.answer({webContext("Page", "Firefox")});
    EXPECT_TRUE(fx.await(std::move(enter)));
    EXPECT_EQ(fx.linkCount(), 1);
    EXPECT_EQ(fx.message(), "Added “Page”. Press Enter or Esc to close.");
    fx.model.reset();
    fx.settle();

    const auto movedOn = [&](const char* how, const std::function<void()>& move) {
        SCOPED_TRACE(how);
        fx.showWhileReading();
        QCoro::Task<bool> kept = fx.model.commands().activateSelection();
        move();
        fx.answer({webContext("Other", "Firefox")});
        EXPECT_TRUE(fx.await(std::move(kept)));
        EXPECT_EQ(fx.linkCount(), 1);
        fx.model.reset();
        fx.model.search().setQuery(QString());
        fx.settle();
    };
    movedOn("another key", [&] { fx.model.noteKeyPress(); });
    movedOn("a query typed", [&] { fx.model.search().setQuery("o"); });
    movedOn("another mode", [&] { fx.model.newLink().begin(); });
    movedOn("the panel hidden", [&] { fx.model.reset(); });

    fx.showWhileReading();
    QCoro::Task<bool> unanswered = fx.model.commands().activateSelection();
    fx.clock->advance(QuickPanelContext::readingBound);
    EXPECT_TRUE(fx.await(std::move(unanswered))) << "the panel stays, saying why nothing happened";
    EXPECT_EQ(fx.message(), "Nothing could be read from Firefox. Type to search all links.");
    EXPECT_EQ(fx.linkCount(), 1);
    fx.answer({});
}

// A reading may end no longer standing for the window (it was retitled while read: another tab came
// in front): the panel goes on reading, a Return meanwhile waits for the next reading and saves what
// that one brings, not nothing and not the tab before. Past the bound, it gives up as for any reading.
TEST(QuickPanelReading, AReadingThatNoLongerStandsForTheWindowIsFollowedByTheNext)
{
    ReadingFixture fx;
    fx.showWhileReading();
    fx.answerSetAside();
    EXPECT_EQ(fx.message(), "Reading Firefox…");
    QCoro::Task<bool> enter = fx.model.commands().activateSelection();
    fx.answer({webContext("Second", "Firefox")});
    EXPECT_TRUE(fx.await(std::move(enter)));
    EXPECT_EQ(fx.linkCount(), 1);
    EXPECT_EQ(fx.message(), "Added “Second”. Press Enter or Esc to close.");
    fx.model.reset();
    fx.settle();

    fx.showWhileReading();
    QCoro::Task<bool> unanswered = fx.model.commands().activateSelection();
    fx.answerSetAside();
    fx.answerSetAside();
    fx.clock->advance(QuickPanelContext::readingBound);
    EXPECT_TRUE(fx.await(std::move(unanswered)));
    EXPECT_EQ(fx.message(), "Nothing could be read from Firefox. Type to search all links.");
    fx.answer({webContext("Late", "Firefox")});
    EXPECT_EQ(fx.linkCount(), 1);
}

// The same file shown by one file manager, then by another once the first has gone: the panel
// shown over the second saves the file as the second shows it, whether Return finds the capture at
// once or waits for its reading, and a panel left open follows the switch.
TEST(QuickPanelReading, TheSameItemInAnotherApplicationIsSavedAsThatApplicationShowsIt)
{
    PanelFixture fx;
    const auto file = [](const QString& app) {
        return CapturedContext{"Notes.txt", "file:///home/ann/Docs/Notes.txt", LinkType::file, app,
                               std::nullopt};
    };
    const auto links = [&] {
        return LinkStoreDatabase(fx.store)
            .run([](SQLiteStore& sqlite) { return sqlite.reads().allLinks(); })
            .result();
    };
    const auto savedFrom = [&] {
        const QList<LinkItem> saved = links();
        return saved.size() == 1 ? saved.first().sourceApp : QStringLiteral("%1 links").arg(saved.size());
    };
    const auto enter = [&] {
        EXPECT_TRUE(fx.await(fx.model.commands().activateSelection()));
        fx.settle();
    };
    const auto forget = [&] {
        fx.model.reset();
        fx.settle();
        for (const LinkItem& link : links())
            fx.store.deleteLink(link.id).waitForFinished();
    };

    fx.show({file("Nemo")});
    fx.model.reset();
    fx.settle();
    fx.show({file("Caja")});
    enter();
    EXPECT_EQ(savedFrom(), "Caja") << "read before the panel showed";
    forget();

    fx.frontmost->reading = ApplicationReading::accessibilityBus;
    fx.frontmost->holdReading();
    fx.frontmost->answer = {};
    fx.model.refreshActiveContext();
    fx.settle();
    QCoro::Task<bool> kept = fx.model.commands().activateSelection();
    fx.frontmost->answerReading({{file("Thunar")}, std::nullopt});
    fx.settle();
    EXPECT_TRUE(fx.await(std::move(kept)));
    EXPECT_EQ(savedFrom(), "Thunar") << "read while Return waited";
    forget();

    fx.show({file("Thunar")});
    fx.frontmost->answer = {{file("PCManFM")}, std::nullopt};
    fx.model.refreshIfContextChanged();
    fx.settle();
    enter();
    EXPECT_EQ(savedFrom(), "PCManFM") << "switched under the open panel";
}

// A file manager's icon view that names its selected item in its status bar alone, and only a moment
// after the selection moved: the panel came up in that moment and read the item selected before,
// saved already. Once the status bar names the new item, the panel reads the window again; a Return
// meanwhile waits for that reading and saves the new item, never opening the old one, also when the
// status bar changed twice and the first reading ends last.
TEST(QuickPanelReading, AStatusBarThatFollowsLateSetsTheReadingAsideAndReturnWaitsForTheNext)
{
    PanelFixture fx;
    fx.workspace->activate("thunar", 42, "Row - Thunar", "thunar");
    fx.frontmost->reading = ApplicationReading::accessibilityBus;
    fx.frontmost->setsAside = true;
    const auto file = [](const QString& name) {
        return CapturedContext{name, "file:///home/ann/Row/" + name, LinkType::file, "Thunar", std::nullopt};
    };
    LinkItem saved = webLink("f00");
    saved.type = LinkType::file;
    saved.url = file("f00").locator;
    fx.save({saved});
    fx.show({file("f00")});
    ASSERT_EQ(fx.model.state().results().size(), 1);
    ASSERT_EQ(fx.model.state().results().first().kind(), PanelResult::Kind::link);

    int told = 0;
    QObject::connect(&fx.model.context(), &QuickPanelContext::shownMayHaveChanged, [&] { ++told; });
    emit fx.accessibility->statusMayHaveChanged("Row"); // names no selected item
    emit fx.accessibility->statusMayHaveChanged(
        "\"f01\"  |  7 bytes  |  plain text document"); // its text and its label at once
    emit fx.accessibility->statusMayHaveChanged("\"f01\"  |  7 bytes  |  plain text document");
    fx.settle();
    EXPECT_EQ(told, 1);
    fx.frontmost->holdReading();
    fx.model.refreshAfterShownChange();
    fx.settle();
    EXPECT_TRUE(fx.model.state().results().isEmpty()) << "the old item is not offered meanwhile";
    fx.model.refreshAfterShownChange(); // the status bar renamed once more
    fx.settle();
    QCoro::Task<bool> enter = fx.model.commands().activateSelection();
    fx.frontmost->answerReading({{file("f01")}, std::nullopt});
    fx.settle();
    EXPECT_TRUE(fx.await(std::move(enter)));
    EXPECT_EQ(fx.linkCount(), 2);
    EXPECT_TRUE(fx.opened.isEmpty());

    // Renamed again after a Return kept for a reading, before the list followed it: the Return waits
    // for the next reading as well.
    fx.model.reset();
    fx.show({file("f02")});
    fx.frontmost->holdReading();
    fx.model.refreshAfterShownChange();
    fx.settle();
    QCoro::Task<bool> again = fx.model.commands().activateSelection();
    fx.frontmost->answerReading({{file("f02")}, std::nullopt});
    fx.frontmost->holdReading();
    fx.model.refreshAfterShownChange();
    fx.settle();
    fx.frontmost->answerReading({{file("f03")}, std::nullopt});
    fx.settle();
    EXPECT_TRUE(fx.await(std::move(again)));
    EXPECT_EQ(fx.linkCount(), 3);
    EXPECT_TRUE(fx.opened.isEmpty());
}
