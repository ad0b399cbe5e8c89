#include "QuickPanelTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using Kind = PanelResult::Kind;

namespace {

QList<Kind> kinds(const QuickPanelViewModel& model)
{
    QList<Kind> result;
    for (const PanelResult& row : model.state().results())
        result.append(row.kind());
    return result;
}

CapturedContext calendarContext(const QString& id)
{
    return {"Event " + id, "morvane-calendar://event?id=" + id + "&start=1714550400&end=1714554000",
            LinkType::calendar, "Calendar", std::nullopt};
}

} // namespace

TEST(QuickPanelReload, NothingInFrontAndASavedPageWithItsRelations)
{
    PanelFixture fx;
    fx.show({});
    EXPECT_TRUE(fx.model.state().results().isEmpty());
    EXPECT_FALSE(fx.model.state().selectedResult());
    EXPECT_EQ(fx.model.state().message(), "No active context. Type to search all links.");
    fx.show({}, QStringLiteral("Allow access to read the browser."));
    EXPECT_EQ(fx.model.state().message(), "Allow access to read the browser.");
    // With nothing searched, there is no search to clear.
    EXPECT_EQ(fx.model.search().emptyStateHint(), "Press Ctrl+N to add a link.");
    fx.model.search().setQuery(" x");
    EXPECT_EQ(fx.model.search().emptyStateHint(),
              "Press Ctrl+N to add a link, or clear the search to use the current context.");
    fx.model.search().setQuery(QString());

    const LinkItem page = webLink("Page"), beta = webLink("Beta"), alpha = webLink("Alpha");
    fx.save({page, beta, alpha}, {{page, beta}, {alpha, page}});
    fx.show({webContext("Page")});
    EXPECT_EQ(fx.titles(), QStringList({"Page", "Alpha", "Beta"}));
    EXPECT_EQ(fx.model.state().linkedItems().size(), 2);
    EXPECT_EQ(fx.model.state().selectedIndex(), 0);
    EXPECT_EQ(fx.model.state().message(), "Showing links for the active Safari page.");
    EXPECT_FALSE(fx.model.tips().currentTipID());
}

TEST(QuickPanelReload, AnUnsavedFinderFileWithTwoCandidates)
{
    PanelFixture fx;
    const QString path = writeFile("here/report.txt", "twelve bytes");
    auto remote = [&](const QString& hash, std::optional<qint64> size) {
        LinkItem item = webLink("report.txt");
        item.type = LinkType::file;
        item.url = "file:///elsewhere/report.txt";
        item.lastKnownPath = "/elsewhere/report.txt";
        item.contentHash = hash.isEmpty() ? std::nullopt : std::optional(hash);
        item.fileSize = size;
        return item;
    };
    const LinkItem sameSize = remote(QString(64, u'0'), 12), sameName = remote({}, std::nullopt);
    fx.save({sameSize, sameName});

    fx.show({finderContext(*fx.library.identity, path)});
    EXPECT_EQ(kinds(fx.model), QList<Kind>({Kind::fileMatch, Kind::fileMatch, Kind::capture}));
    EXPECT_EQ(fx.model.state().results()[0].subtitle(), "Same name and size: " + path);
    EXPECT_EQ(fx.model.state().message(),
              "2 possible file matches found. Select one to use this file on this computer.");
    EXPECT_EQ(fx.model.tips().currentTipID(), "fileMatch.prompt");
    EXPECT_TRUE(fx.model.tips().showsTipBanner());
    fx.model.tips().dismissCurrentTip();
    EXPECT_FALSE(fx.model.tips().showsTipBanner());
    fx.show({finderContext(*fx.library.identity, path)});
    EXPECT_EQ(fx.model.state().message(), "");

    // Enter on a candidate records this file as that link's copy here: no new link is made, and the
    // panel goes on to link it to the other one.
    const bool staysOpen = fx.await(fx.model.commands().activateSelection());
    EXPECT_TRUE(staysOpen);
    EXPECT_EQ(fx.linkCount(), 2);
    ASSERT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::chooseRelationSource));
    EXPECT_EQ(fx.model.state().mode().link()->id, sameSize.id);
    const auto resolution =
        LinkStoreDatabase(fx.store)
            .run([&](SQLiteStore& sqlite) { return sqlite.fileLookups().localResolution(sameSize.id); })
            .result();
    EXPECT_EQ(resolution.value_or(FileIdentity()).lastKnownPath, path);
    EXPECT_EQ(fx.titles(), QStringList({"report.txt"}));
    EXPECT_EQ(fx.model.state().results()[0].item()->id, sameName.id);
}

TEST(QuickPanelReload, ItemsOfAnotherApplicationAndTheirTips)
{
    PanelFixture fx;
    const CapturedContext mail{"Inbox", "message://%3Cid%40host%3E", LinkType::mail, "Mail", std::nullopt};
    fx.show({mail});
    EXPECT_EQ(fx.model.state().message(),
              "Press Enter to add this Mail message. If other links exist, you can link it "
              "next, or type to search.");
    EXPECT_EQ(fx.model.tips().currentTipID(), "capture.newItem.mail");
    fx.model.tips().dismissCurrentTip();
    EXPECT_EQ(fx.model.state().message().isEmpty(), false) << "the text stays until the next reload";
    fx.show({mail});
    EXPECT_EQ(fx.model.state().message(), "");

    // Three events of a day, the middle one saved.
    LinkItem saved = webLink("Event 2");
    saved.type = LinkType::calendar;
    saved.url = calendarContext("2").locator;
    fx.save({saved});
    fx.show({calendarContext("1"), calendarContext("2"), calendarContext("3")});
    EXPECT_EQ(kinds(fx.model), QList<Kind>({Kind::capture, Kind::link, Kind::capture}));
    EXPECT_EQ(fx.model.state().message(), "Select a Calendar event to add or open.");
    EXPECT_EQ(fx.model.tips().currentTipID(), "capture.multiContext.calendar");
    fx.model.state().selectResult(2);
    fx.model.search().reload();
    fx.settle();
    EXPECT_EQ(fx.model.state().selectedIndex(), 2) << "a selection that still fits stays";

    // The one-second check reloads on another locator or another message, not on a new title.
    fx.frontmost->answer.contexts[0].title = "Renamed";
    const int before = fx.frontmost->asked;
    fx.model.refreshIfContextChanged();
    EXPECT_EQ(fx.frontmost->asked, before + 1);
    EXPECT_EQ(fx.model.context().contexts()[0].title, "Event 1");
    fx.frontmost->answer.message = "Calendar access is needed.";
    fx.model.refreshIfContextChanged();
    fx.settle();
    EXPECT_EQ(fx.model.state().message(), "Calendar access is needed.");
    fx.model.search().setQuery(" ev ");
    fx.model.refreshIfContextChanged();
    EXPECT_EQ(fx.frontmost->asked, before + 2) << "a typed query stops the check";
}

TEST(QuickPanelReload, TypedSearchListsLinksThenEventsThenCards)
{
    PanelFixture fx;
    fx.calendars->calendarEvents = {{"e1", std::nullopt, "Lab meeting", at("2024-05-02T09:00:00.000Z"),
                                     at("2024-05-02T10:00:00.000Z"), std::nullopt, std::nullopt,
                                     std::nullopt}};
    fx.contacts->cards = {{"c1", "Abby", "Road", ""}};
    fx.show({});
    fx.type("ab");
    EXPECT_EQ(kinds(fx.model), QList<Kind>({Kind::capture, Kind::capture}));
    EXPECT_EQ(fx.model.state().results()[1].subtitle(), "Contacts card");
    EXPECT_EQ(fx.model.state().message(),
              "Showing matching Calendar events and contacts. Press Enter to add one.");
    EXPECT_EQ(fx.model.tips().currentTipID(), "search.calendarCapture");

    // Links come first, and the message of before stays.
    const LinkItem lab = webLink("Lab notes");
    fx.save({lab});
    fx.type("lab");
    EXPECT_EQ(kinds(fx.model), QList<Kind>({Kind::link, Kind::capture}));
    EXPECT_EQ(fx.model.state().message(),
              "Showing matching Calendar events and contacts. Press Enter to add one.");
    EXPECT_FALSE(fx.model.tips().currentTipID()) << "the rows mix links and captures; nothing is in front";

    fx.model.commands().showBacklinks();
    fx.type("lab");
    EXPECT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::backlinks)) << "typing keeps the mode";
    EXPECT_EQ(fx.model.state().results().size(), 2);
}

// Each keystroke starts a search, and the answer to the latest one is what stays, whatever order
// the answers come back in.
TEST(QuickPanelReload, ASlowSearchDoesNotOverwriteANewerOne)
{
    PanelFixture fx;
    fx.holdSearches = true;
    fx.model.search().setQuery("a");
    fx.model.search().reload();
    fx.model.search().setQuery("ab");
    fx.model.search().reload();
    ASSERT_EQ(fx.heldSearches.size(), 2u);
    fx.answerSearch(1, {webLink("Abacus")});
    fx.answerSearch(0, {webLink("Apple"), webLink("Avocado")});
    EXPECT_EQ(fx.titles(), QStringList({"Abacus"}));
}

// The model follows each change of the query with one search of it, with no view to ask for it, and
// a writer that lists something itself (showing the panel, starting a relation) is not searched again.
TEST(QuickPanelReload, EachChangeOfTheQueryIsSearchedOnce)
{
    PanelFixture fx;
    const LinkItem lab = webLink("Lab notes");
    fx.save({lab});
    fx.show({});
    fx.holdSearches = true;
    for (const char* typed : {"l", "la", "lab"})
        fx.model.search().setQuery(typed);
    fx.settle();
    ASSERT_EQ(fx.heldSearches.size(), 1u) << "keys typed within one turn are searched together";
    EXPECT_EQ(fx.heldSearches[0].first, "lab");
    fx.answerSearch(0, {lab});
    EXPECT_EQ(fx.titles(), QStringList({"Lab notes"}));

    fx.model.search().setQuery("labs");
    fx.model.commands().beginRelation();
    fx.settle();
    ASSERT_EQ(fx.heldSearches.size(), 2u) << "the relation's own list, and no second one for the query";
    EXPECT_EQ(fx.heldSearches[1].first, "");
}

TEST(QuickPanelCapture, SavingWhatIsInFrontInAnEmptyAndAFullLibrary)
{
    PanelFixture fx;
    fx.show({webContext("Page")});
    EXPECT_TRUE(fx.await(fx.model.commands().activateSelection()));
    EXPECT_EQ(fx.titles(), QStringList({"Page"}));
    EXPECT_EQ(fx.model.state().message(), "Added “Page”. Press Enter or Esc to close.");
    EXPECT_EQ(fx.model.tips().currentTipID(), "capture.soloDismiss");
    EXPECT_FALSE(fx.await(fx.model.commands().activateSelection())) << "the next Enter closes the panel";
    EXPECT_FALSE(fx.model.state().awaitingSoloCaptureDismiss());
    EXPECT_EQ(fx.linkCount(), 1);

    // With other links the new one is offered for linking, the others listed without it.
    fx.tips.dismiss("capture.linkAfter");
    fx.show({webContext("Second")});
    EXPECT_TRUE(fx.await(fx.model.commands().activateSelection()));
    EXPECT_EQ(fx.model.state().message(), "Added “Second”.");
    EXPECT_EQ(fx.titles(), QStringList({"Page"}));
    ASSERT_TRUE(fx.model.state().mode().link());
    EXPECT_EQ(fx.model.state().mode().link()->title, "Second");

    // A store error keeps the rows and the mode, and the panel open.
    fx.model.reset();
    fx.show({{"Nothing", "", LinkType::web, "Safari", std::nullopt}});
    const QList<PanelResult> rows = fx.model.state().results();
    EXPECT_TRUE(fx.await(fx.model.commands().activateSelection()));
    EXPECT_EQ(fx.model.state().message(), "Enter a URL or file path.");
    EXPECT_EQ(fx.model.state().results(), rows);
    EXPECT_TRUE(fx.model.state().mode().is(QuickPanelMode::Kind::search));
}

TEST(QuickPanelTips, TokensAndDismissals)
{
    const std::pair<QString, QString> tokens[] = {
        {"Google Chrome", "google-chrome"},
        {" Mail ", "mail"},
        {"DEVONthink 3", "devonthink-3"},
        {"", "unknown"},
        {"!!!", ""},
        {"Zürich-Café", "zürich-café"},
    };
    for (const auto& [name, token] : tokens)
        EXPECT_EQ(QuickPanelTipStore::tipToken(name), token) << name.toStdString();

    auto defaults = UserDefaults::inMemory();
    QuickPanelTipStore tips(defaults);
    defaults->setString(QuickPanelTipStore::standardKey, "capture.soloDismiss");
    EXPECT_FALSE(tips.isDismissed("capture.soloDismiss")) << "not a list: nothing is dismissed";
    tips.dismiss("capture.soloDismiss");
    tips.dismiss("capture.newItem.mail");
    tips.dismiss("capture.soloDismiss");
    EXPECT_EQ(defaults->stringListValue(QuickPanelTipStore::standardKey),
              QStringList({"capture.newItem.mail", "capture.soloDismiss"}));
    tips.restoreAll();
    EXPECT_FALSE(tips.isDismissed("capture.newItem.mail"));
}
