#include "LinkOpenerDoubles.h"
#include "LogCapture.h"
#include "TestFiles.h"

#include "capture/CalendarEventReference.h"
#include "capture/ContactLink.h"
#include "foundation/LocatorUrl.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

class Opener : public ::testing::Test, protected test::LinkOpenerDoubles {
protected:
    std::optional<FileIdentity> open(const LinkItem& item)
    {
        return QCoro::waitFor(opener.open(item, std::nullopt));
    }

    static LinkItem link(LinkType type, const QString& url)
    {
        LinkItem item;
        item.id = QUuid::createUuid();
        item.type = type;
        item.url = url;
        return item;
    }

    // A PDF link saved with the evidence of its file, which then moved from old/ into one/.
    LinkItem movedPdf()
    {
        const QString saved = writeFile(homePath("old/report.pdf"), "%PDF-1.4 report");
        LinkItem item = link(LinkType::file, LocatorUrl::fileUrlText(saved) + "#page=5");
        const auto evidence = identity->makeIdentity(LocatorUrl::fileUrlText(saved), true);
        item.lastKnownPath = saved;
        item.contentHash = evidence->contentHash;
        item.fileSize = evidence->fileSize;
        item.volumeIdentifier = evidence->volumeIdentifier;
        renameFile(saved, homePath("one/report.pdf"));
        return item;
    }

    // The known folder, added in Preferences (another store over the same settings) after the opener
    // was built.
    void addRootLater(const QString& folder)
    {
        KnownRootsStore preferences(defaults);
        preferences.addRoot(homePath(folder));
    }
};

// The parser tests hold the whole table of types and schemes; here the opener keeps to it and logs a refusal.
TEST_F(Opener, EachTypeOpensOnlyTheSchemesItsParserGivesIt)
{
    struct Case {
        LinkType type;
        QString url;
        bool opened;
    };
    const Case cases[] = {
        {LinkType::web, "https://example.com/a", true},
        {LinkType::mail, "message://%3Cid@example.com%3E", true},
        // Applications with no version here: their links still go to whatever handles them.
        {LinkType::devonthink, "x-devonthink-item://ABC-123", true},
        {LinkType::fantastical, "x-fantastical3://show/calendar/2024-03-29", true},
        {LinkType::web, "file:///usr/bin/xterm", false},
        {LinkType::web, "morvane://open/11111111-2222-3333-4444-555555555555", false},
        {LinkType::mail, "https://example.com", false},
        {LinkType::file, "https://example.com/report.pdf", false},
        {LinkType::web, "not a url", false},
    };
    for (const Case& c : cases) {
        *desktop = FakeDesktopServices();
        LogCapture log(QStringLiteral("morvane.LinkOpener"));
        EXPECT_EQ(open(link(c.type, c.url)), std::nullopt);
        EXPECT_EQ(desktop->openedUrls, c.opened ? QStringList{c.url} : QStringList()) << c.url.toStdString();
        EXPECT_EQ(log.lines().size(), c.opened ? 0 : 1) << c.url.toStdString();
    }
}

TEST_F(Opener, AMessageOpensInTheMailClientByItsMessageIDElseThroughTheDesktop)
{
    const QString url = "message://%3Ca.b%2Bc%40example.org%3E";
    open(link(LinkType::mail, url));
    EXPECT_EQ(desktop->openedUrls, QStringList{url}) << "without the mail client installed";

    launcher->answer("thunderbird", 0);
    open(link(LinkType::mail, url));
    EXPECT_EQ(launcher->calls().last(),
              (FakeProcessLauncher::Call{"thunderbird", {"mid:a.b+c@example.org"}, {}}));
    EXPECT_EQ(desktop->openedUrls.size(), 1);

    // A locator that names no valid Message-ID never reaches the mail client's command line.
    const qsizetype started = launcher->calls().size();
    open(link(LinkType::mail, "message://%3C-P%20x%40y%3E"));
    EXPECT_EQ(launcher->calls().size(), started);
    EXPECT_EQ(desktop->openedUrls.last(), "message://%3C-P%20x%40y%3E");
}

// The client a message was captured from holds it; a message added by hand opens in the desktop's mail
// program; either way the other client is tried when the first is not installed.
TEST_F(Opener, AMessageOpensInTheClientItCameFromElseTheDesktopsMailProgramThenTheOther)
{
    const QString url = "message://%3Cnotes%40example.org%3E";
    const FakeProcessLauncher::Call evolution{"evolution", {"mid:notes@example.org"}, {}};
    const FakeProcessLauncher::Call thunderbird{"thunderbird", {"mid:notes@example.org"}, {}};
    launcher->answer("evolution", 0);
    launcher->answer("thunderbird", 0);
    const auto openFrom = [&](const QString& sourceApp) {
        LinkItem item = link(LinkType::mail, url);
        item.sourceApp = sourceApp;
        open(item);
        return launcher->calls().last();
    };
    const struct {
        QByteArray mailProgram;
        QString sourceApp;
        FakeProcessLauncher::Call opened;
    } cases[]{
        {"org.gnome.Evolution.desktop\n", "", evolution},
        {"org.gnome.Evolution.desktop\n", "Thunderbird", thunderbird},
        {"thunderbird.desktop\n", "", thunderbird},
        {"thunderbird.desktop\n", "Evolution", evolution},
    };
    for (const auto& c : cases) {
        launcher->answer("xdg-mime", 0, c.mailProgram);
        EXPECT_EQ(openFrom(c.sourceApp), c.opened)
            << c.mailProgram.toStdString() << c.sourceApp.toStdString();
    }

    launcher->answer("evolution", [](const QStringList&) { return ProcessResult{}; }); // not installed
    EXPECT_EQ(openFrom("Evolution"), thunderbird);
    EXPECT_TRUE(desktop->openedUrls.isEmpty());
}

TEST_F(Opener, AMovedPdfIsFoundThroughAFolderAddedLaterAndOpenedAtItsPageInAViewerWeKnow)
{
    const LinkItem item = movedPdf();
    const QString found = homePath("one/report.pdf");
    launcher->answer("xdg-mime", 0, "org.gnome.Evince.desktop\n");
    launcher->answer("evince", 0);

    EXPECT_EQ(open(item), std::nullopt) << "not found before the folder is known";
    addRootLater("one");
    const std::optional<FileIdentity> recorded = open(item);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->lastKnownPath, found);
    EXPECT_TRUE(recorded->contentHash);
    EXPECT_TRUE(desktop->openedUrls.isEmpty());
    EXPECT_TRUE(
        launcher->calls().contains(FakeProcessLauncher::Call{"evince", {"--page-index=5", found}, {}}));
}

TEST_F(Opener, WithoutAViewerWeKnowTheFileOpensWithoutItsPage)
{
    const LinkItem item = movedPdf();
    addRootLater("one");
    launcher->answer("xdg-mime", 0, "firefox.desktop\n");
    EXPECT_TRUE(open(item));
    EXPECT_EQ(desktop->openedUrls, QStringList{LocatorUrl::fileUrlText(homePath("one/report.pdf"))});
    EXPECT_EQ(pdfPageCommand("okularApplication_pdf.desktop", "/a.pdf", 3),
              (PdfPageCommand{"okular", {"-p", "3", "/a.pdf"}}));
}

TEST_F(Opener, CalendarAndContactLinksGoToTheirServices)
{
    calendarStore->status = CalendarAuthorizationStatus::notDetermined;
    const CalendarEventReference event{"E", {}, {}, {}, "Review", 1.0, 2.0};
    EXPECT_EQ(open(link(LinkType::calendar, *event.locator())), std::nullopt);
    EXPECT_EQ(calendarStore->pending.size(), 1) << "the calendar service asks for access to find the event";

    contactStore->cards = {{"ann", "Ann", "Lee", ""}};
    desktop->handledSchemes = {"addressbook"};
    EXPECT_EQ(open(link(LinkType::contact, *contactLocator("ann", "Ann Lee", std::nullopt))), std::nullopt);
    EXPECT_EQ(desktop->openedUrls, QStringList{"addressbook://ann"});
}

// With nothing installed that could show an event, a contact or a note, an alert says which
// applications would, once the opener has answered; where something showed it, nothing is said.
TEST_F(Opener, AnItemNoInstalledApplicationShowsIsSaidWithTheApplicationsThatWould)
{
    const QDateTime start = QDateTime::fromString("2024-05-01T09:00:00Z", Qt::ISODate);
    const CalendarEvent review{"E1", std::nullopt, "Review", start, start.addSecs(3600), {}, {}, {}};
    calendarStore->calendarEvents = {review};
    contactStore->cards = {{"ann", "Ann", "Lee", ""}};
    LinkItem event = link(LinkType::calendar, *CalendarEventReference::fromEvent(review).locator());
    event.title = "Review";
    LinkItem card = link(LinkType::contact, *contactLocator("ann", "Ann Lee", std::nullopt));
    card.title = "Ann Lee";
    LinkItem note = link(LinkType::obsidian, "obsidian://open?path=%2Fv%2FIdeas.md");
    note.title = "Ideas";
    struct Case {
        LinkItem item;
        bool shownElsewhere; // the store's application, or a handler of the note's links
        QString said;        // the alert's two texts; empty for none
    };
    const Case cases[] = {
        {event, false,
         "“Review” cannot be opened. Saved events open in GNOME Calendar or Evolution, and neither is "
         "installed."},
        {event, true, ""},
        {card, false,
         "“Ann Lee” cannot be opened. Saved contacts open in GNOME Contacts or Evolution, and neither is "
         "installed."},
        {card, true, ""},
        {note, false, "“Ideas” cannot be opened. Saved notes open in Obsidian, which is not installed."},
        {note, true, ""},
    };
    for (const Case& c : cases) {
        alerts->shown.clear();
        calendarStore->revealAnswer = contactStore->revealAnswer = c.shownElsewhere;
        desktop->handledSchemes = c.shownElsewhere ? QSet<QString>{"obsidian"} : QSet<QString>{};
        open(c.item);
        EXPECT_TRUE(alerts->shown.isEmpty()) << "not while the caller waits for the opener";
        QCoreApplication::processEvents();
        QStringList said;
        for (const Alert& alert : alerts->shown)
            said << alert.messageText + " " + alert.informativeText;
        EXPECT_EQ(said.join(u'\n'), c.said) << c.item.url.toStdString();
    }
}

} // namespace
