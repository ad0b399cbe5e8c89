#include "capture/EvolutionMessageReader.h"

#include "RecordedAccessibilityTree.h"
#include "TestFiles.h"

#include "capture/MailFolderIndex.h"
#include "foundation/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <functional>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::homePath;
using test::writeFile;
using Selection = EvolutionMessageReader::Selection;

QByteArray message(const QByteArray& id, const QByteArray& date, const QByteArray& from,
                   const QByteArray& subject)
{
    return "Message-ID: <" + id + ">\nDate: " + date + "\nFrom: " + from + "\nSubject: " + subject +
           "\n\nBody\n";
}

const QByteArray plan = message("first.plan@example.org", "Mon, 07 Dec 2026 08:00:00 +0000",
                                "Ada Lovelace <ada@example.org>", "Quarterly plan");
const QByteArray notes =
    message("second.notes@example.org", "Mon, 07 Dec 2026 09:15:00 +0000",
            "=?UTF-8?B?R3LDpWNlIEhvcHBlcg==?= <grace@example.org>", "=?UTF-8?Q?Caf=C3=A9_notes?=");
const CapturedContext notesContext{"Café notes - Gråce Hopper <grace@example.org>",
                                   "message://%3Csecond.notes%40example.org%3E", LinkType::mail, "Evolution",
                                   std::nullopt};
const CapturedContext planContext{"Quarterly plan - Ada Lovelace <ada@example.org>",
                                  "message://%3Cfirst.plan%40example.org%3E", LinkType::mail, "Evolution",
                                  std::nullopt};

// An account's source file, as Evolution's account editor writes it.
void writeAccount(const QString& uid, const QByteArray& backend, const QString& path)
{
    QByteArray kind = backend;
    kind[0] = char(QChar::toUpper(kind[0]));
    writeFile(configHome() + "/evolution/sources/" + uid + ".source",
              "[Data Source]\nDisplayName=Notes\nEnabled=true\n\n[Mail Account]\nBackendName=" + backend +
                  "\nIdentityUid=" + uid.toUtf8() + "-identity\n\n[" + kind +
                  " Backend]\nFilterInbox=false\nPath=" + path.toUtf8().replace(' ', "\\s") + "\n");
}

// The row of the message list as Evolution shows it: status cells, sender, subject, the day and time.
QStringList row(const QString& sender, const QString& subject, const QByteArray& date)
{
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(date), Qt::RFC2822Date).toLocalTime();
    return {"Seen", "Attachment", "Flagged", sender, subject, "Today " + when.toString("hh:mm")};
}

const QString recording = QStringLiteral(MORVANE_RECORDED_TREES "/evolution-mail.json");

class EvolutionMail : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeAccount("e2e-account", "maildir", homePath("My Mail"));
        writeFile("My Mail/cur/1765094400.M1P1.e2e:2,S", plan);
        writeFile("My Mail/new/1765098900.M2P1.e2e", notes);
        QDir().mkpath(homePath("My Mail/tmp"));
    }

    std::shared_ptr<test::AccessibilityTree> tree = std::make_shared<test::AccessibilityTree>();
    const EvolutionMessageReader reader{tree, std::make_shared<MailFolderIndex>()};
    const qint64 pid = QCoreApplication::applicationPid();
    const DesktopWindow window{1, {"org.gnome.Evolution", pid}, "Inbox", {}, {}};
};

// Evolution as recorded with Café notes selected in the Inbox of a maildir account: the preview names
// the message, the row under the list's cursor shows it, and its file holds the Message-ID.
TEST_F(EvolutionMail, TheRecordedSelectionIsFoundInTheAccountsMaildir)
{
    ASSERT_TRUE(test::replayRecordedTree(*tree, recording, pid));
    EXPECT_EQ(reader.read(window), WindowReading(notesContext));
    EXPECT_EQ(tree->offThreadReads, 0);

    // The message's file is gone (moved by another client): nothing, never another message.
    QFile::remove(homePath("My Mail/new/1765098900.M2P1.e2e"));
    EXPECT_EQ(reader.read(window), WindowReading());
}

// Inside the tree's job: the elements from start down to the first one that matches, both included.
QList<AccessibilityElement> pathTo(const AccessibilityElements& api, const AccessibilityElement& start,
                                   const std::function<bool(const AccessibilityElement&)>& match)
{
    if (match(start))
        return {start};
    for (const AccessibilityElement& child : api.children(start, 1000)) {
        if (QList<AccessibilityElement> below = pathTo(api, child, match); !below.isEmpty()) {
            below.prepend(start);
            return below;
        }
    }
    return {};
}

// What GTK does to a part of the window it takes off the screen: nothing in it shows any more, but
// the preview's document, which says it shows whatever it does.
void takeOffScreen(test::AccessibilityTree& tree, const AccessibilityElement& part)
{
    QFuture<QList<AccessibilityElement>> listing = tree.run([part](AccessibilityElements& api) {
        QList<AccessibilityElement> all;
        pathTo(api, part, [&](const AccessibilityElement& element) {
            if (api.role(element) != AccessibilityRole::documentWeb)
                all.append(element);
            return false;
        });
        return all;
    });
    for (const AccessibilityElement& element : listing.result())
        tree.edit(element, [](test::AccessibilityTree::Node& node) {
            node.states &= ~AccessibilityStates(AccessibilityState::showing);
        });
}

// The mail view keeps its preview, still naming the message it showed and saying it shows, when the
// preview pane is hidden or another view (the calendar) takes the window.
TEST_F(EvolutionMail, APreviewOffTheScreenIsNoSelection)
{
    const WindowReading noMessage =
        WindowReading::nothingBecause(captureReason::noMessageSelected("Evolution"));
    for (const bool calendarInFront : {false, true}) {
        tree = std::make_shared<test::AccessibilityTree>();
        const EvolutionMessageReader fresh{tree, std::make_shared<MailFolderIndex>()};
        ASSERT_TRUE(test::replayRecordedTree(*tree, recording, pid));
        const int firstReads = tree->reads;
        ASSERT_EQ(fresh.read(window), WindowReading(notesContext));
        const int walked = tree->reads - firstReads;
        ASSERT_EQ(fresh.read(window), WindowReading(notesContext));
        EXPECT_LT((tree->reads - firstReads - walked) * 4, walked) << "read again where its parts were";

        // Off the screen goes the preview pane (the part beside the list that holds the preview), or
        // the whole mail view (its page of the window's tabs).
        QFuture<AccessibilityElement> finding = tree->run([calendarInFront](AccessibilityElements& api) {
            const AccessibilityElement evolution = api.applications().first().element;
            const QList<AccessibilityElement> list =
                pathTo(api, evolution, [&](const AccessibilityElement& e) {
                    return api.role(e) == AccessibilityRole::treeTable && api.name(e) == "Messages";
                });
            const QList<AccessibilityElement> preview =
                pathTo(api, evolution, [&](const AccessibilityElement& e) {
                    return api.role(e) == AccessibilityRole::documentWeb;
                });
            if (calendarInFront) {
                for (const AccessibilityElement& element : preview)
                    if (api.role(element) == AccessibilityRole::pageTab)
                        return element;
            }
            qsizetype apart = 0;
            while (apart < list.size() && list.at(apart) == preview.at(apart))
                ++apart;
            return preview.at(apart);
        });
        takeOffScreen(*tree, finding.result());

        DesktopWindow calendar = window;
        calendar.title = "Calendar";
        EXPECT_EQ(fresh.read(window), noMessage)
            << "the window as it was walked; calendar " << calendarInFront;
        EXPECT_EQ(fresh.read(calendar), noMessage) << "the window walked again; calendar " << calendarInFront;
    }
}

// With the mail view in front and no message selected, each poll finds the list and no preview. The
// window is walked again once the bus announced a change (a message selected shows the preview), not
// at every poll.
TEST_F(EvolutionMail, NothingSelectedIsWalkedAgainOnlyOnceSomethingChanged)
{
    ASSERT_TRUE(test::replayRecordedTree(*tree, recording, pid));
    const AccessibilityElement preview =
        tree->run([](AccessibilityElements& api) {
                return pathTo(api, api.applications().first().element,
                              [&](const AccessibilityElement& e) {
                                  return api.role(e) == AccessibilityRole::documentWeb;
                              })
                    .last();
            })
            .result();
    QHash<QString, QString> shownMessage;
    tree->edit(preview, [&](test::AccessibilityTree::Node& n) {
        shownMessage = std::exchange(n.documentAttributes, {});
    });
    const auto readCounted = [&](int* reads) {
        const int before = tree->reads;
        const WindowReading reading = reader.read(window);
        *reads = tree->reads - before;
        return reading;
    };
    const WindowReading noMessage =
        WindowReading::nothingBecause(captureReason::noMessageSelected("Evolution"));

    int walked = 0;
    int idle = 0;
    ASSERT_EQ(readCounted(&walked), noMessage);
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(readCounted(&idle), noMessage);
        EXPECT_LT(idle * 20, walked) << "poll " << poll << " walked the window again";
    }
    RecordProperty("elements_read_walking", walked);
    RecordProperty("elements_read_idle", idle);

    // A message selected: its preview is found at the next read.
    tree->edit(preview, [&](test::AccessibilityTree::Node& n) { n.documentAttributes = shownMessage; });
    EXPECT_EQ(reader.read(window), WindowReading(notesContext));
}

// The preview follows the list a moment later: while the row under the cursor shows another message,
// the preview's message is not taken for the selected one.
TEST_F(EvolutionMail, APreviewTheCursorRowDoesNotShowIsNotCaptured)
{
    ASSERT_TRUE(
        test::replayRecordedTree(*tree, recording, pid,
                                 {{"Gråce Hopper <grace@example.org>", "Alan Turing <alan@example.org>"},
                                  {"Café notes", "Budget review"}}));
    EXPECT_EQ(reader.read(window), WindowReading());
}

TEST_F(EvolutionMail, EachKindOfStoreLeadsToItsMessageAndNoAddressLeadsOutOfIt)
{
    const QString uid = "1765098900.M2P1.e2e";
    const QStringList notesRow =
        row("Gråce Hopper <grace@example.org>", "Café notes", "Mon, 07 Dec 2026 09:15:00 +0000");
    const QStringList planRow =
        row("Ada Lovelace <ada@example.org>", "Quarterly plan", "Mon, 07 Dec 2026 08:00:00 +0000");
    // A nested folder of a maildir, and the store "On This Computer" before its source file exists.
    writeFile("My Mail/.Projects.2026/cur/1765100000.M3P1.e2e:2,RS", plan);
    writeFile(dataHome() + "/evolution/mail/local/.Archive/cur/1765100000.M4P1.e2e:2,S", plan);
    // Mbox stores number their messages themselves: the row tells which one the preview shows.
    writeAccount("mbox-account", "mbox", homePath("Mboxes"));
    writeFile("Mboxes/Work.sbd/Reports",
              "From - Mon Dec 07 08:00:00 2026\n" + plan + "\nFrom - Mon Dec 07 09:15:00 2026\n" + notes);
    // An IMAP account keeps a copy of each message it showed in its cache, in a bucket made from its
    // uid by GLib's string hash (uid 1 in "2e", where Evolution put it; uid 12 in "06"); uids count in
    // each folder on its own.
    writeAccount("server-account", "imapx", "");
    writeFile(".cache/evolution/mail/server-account/folders/Projects/subfolders/2026/cur/2e/1", plan);
    writeFile(".cache/evolution/mail/server-account/folders/INBOX/cur/06/12", notes);
    writeFile(".cache/evolution/mail/server-account/folders/INBOX/cur/2e/1", notes);
    writeAccount("exchange-account", "ews", "");

    const struct {
        Selection selection;
        WindowReading expected;
    } cases[]{
        {{"mail://e2e-account/Inbox/" + uid + "?mode=0", notesRow}, notesContext},
        // The cursor past the rows looked at: the preview alone says which message it is.
        {{"mail://e2e-account/Inbox/" + uid + "?mode=0", {}}, notesContext},
        {{"mail://e2e-account/Inbox/" + uid, planRow}, WindowReading()},
        {{"mail://e2e-account/Projects/2026/1765100000.M3P1.e2e", planRow}, planContext},
        {{"mail://local/Archive/1765100000.M4P1.e2e", {}}, planContext},
        // A search folder names the folder it is, and its messages by a mark of their own folder.
        {{"mail://vfolder/All%20Account%20Search/1MbkfxL9" + uid, {"Gråce Hopper", "Café notes"}},
         notesContext},
        {{"mail://mbox-account/Work/Reports/7", planRow}, planContext},
        {{"mail://mbox-account/Work/Reports/8", notesRow}, notesContext},
        {{"mail://mbox-account/Work/Reports/8", {}}, WindowReading()},
        // Addresses that would read files elsewhere, or a folder that is not there.
        {{"mail://e2e-account/Inbox/..%2F..%2Fetc%2Fpasswd", {}}, WindowReading()},
        {{"mail://e2e-account/Inbox/*", {}}, WindowReading()},
        {{"mail://mbox-account/Work/..%2F..%2FMboxes%2FWork.sbd%2FReports/7", planRow},
         WindowReading::nothingBecause(captureReason::noMessageSelected("Evolution"))},
        {{"mail://..%2Fe2e-account/Inbox/" + uid, {}},
         WindowReading::nothingBecause(captureReason::accountNotRead("Evolution"))},
        {{"mail://e2e-account/Elsewhere/" + uid, {}}, WindowReading()},
        {{"mail://server-account/Projects%2F2026/1", planRow}, planContext},
        {{"mail://server-account/INBOX/12", {}}, notesContext},
        {{"mail://server-account/INBOX/13", {}}, WindowReading()},
        {{"mail://server-account/Projects%2F2026/..%2F1", planRow}, WindowReading()},
        // In a search folder, the row tells which folder's message of that uid it is.
        {{"mail://vfolder/All%20Account%20Search/LaBLdMyz1", planRow}, planContext},
        {{"mail://vfolder/All%20Account%20Search/LaBLdMyz1", notesRow}, notesContext},
        {{"mail://vfolder/All%20Account%20Search/LaBLdMyz1", {}}, WindowReading()},
        // A message of another kind of server's account, or of an account Evolution has no file for.
        {{"mail://exchange-account/Inbox/AAMkAD", {}},
         WindowReading::nothingBecause(captureReason::accountNotRead("Evolution"))},
        {{"mail://gone-account/Inbox/" + uid, {}},
         WindowReading::nothingBecause(captureReason::accountNotRead("Evolution"))},
        // No preview: no message is selected.
        {{"", {}}, WindowReading::nothingBecause(captureReason::noMessageSelected("Evolution"))},
        {{"mail://e2e-account/" + uid, {}},
         WindowReading::nothingBecause(captureReason::noMessageSelected("Evolution"))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reader.contextOf(c.selection), c.expected) << c.selection.previewUrl.toStdString();
}

} // namespace
} // namespace morvane
