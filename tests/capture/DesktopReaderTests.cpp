#include "AccessibilityTree.h"
#include "FakeSessionBus.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "capture/FileManagerReader.h"
#include "capture/MailFolderIndex.h"
#include "capture/PdfViewerReader.h"
#include "capture/ThunderbirdMessageReader.h"
#include "capture/WindowPaths.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

using Role = AccessibilityRole;
using Node = AccessibilityTree::Node;

class DesktopReaders : public ::testing::Test {
protected:
    std::shared_ptr<FakeSessionBus> bus = std::make_shared<FakeSessionBus>();
    std::shared_ptr<AccessibilityTree> tree = std::make_shared<AccessibilityTree>();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    const qint64 pid = getpid(); // the test process holds the viewer's files open
    const AccessibilityStates selected = AccessibilityState::showing | AccessibilityState::selected;

    const AccessibilityElement application = tree->addApplication(pid, "app");

    // The window of this process with this title, as the window layer reports it.
    DesktopWindow window(const QString& title, quint32 windowId = 1) const
    {
        return {windowId, {"app", pid}, title, {}, {}};
    }

    // A frame of the application of this process, titled so.
    AccessibilityElement frame(const QString& title)
    {
        return tree->add(application,
                         node(Role::frame, title, AccessibilityState::showing | AccessibilityState::active));
    }
};

} // namespace

TEST_F(DesktopReaders, APdfViewerGivesItsFileAtItsPageFromWhereverItSaysThem)
{
    const QString pdf = writeFile("Docs/Five Pages.pdf", "%PDF-1.4");
    QFile held(pdf);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    const PdfViewerReader reader(bus, tree, identity);
    const QString url = LocatorUrl::fileUrlText(pdf, false);

    // Zathura says its file and page over its own interface.
    const BusObject zathura{QStringLiteral("org.pwmt.zathura.PID-%1").arg(pid), "/org/pwmt/zathura",
                            "org.pwmt.zathura"};
    bus->own(zathura.service, pid);
    bus->answer(zathura, "filename", pdf);
    bus->answer(zathura, "pagenumber", 2U);
    std::optional<CapturedContext> context = reader.read(PdfViewer::zathura, window(pdf));
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url + "#page=3");
    EXPECT_EQ(context->title, "Five Pages.pdf");
    EXPECT_EQ(context->sourceApp, "Zathura");
    ASSERT_TRUE(context->fileIdentity);
    EXPECT_EQ(context->fileIdentity->lastKnownPath, pdf);

    // A viewer that does not answer: the file it holds open, without a page.
    context = reader.read(PdfViewer::okular, window("Five Pages.pdf"));
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url);
    // One that names its document but not its page gives nothing: the file alone would match every
    // saved page of it.
    const BusObject okular{QStringLiteral("org.kde.okular-%1").arg(pid), "/okular", "org.kde.okular"};
    bus->own(okular.service, pid);
    bus->answer(okular, "currentDocument", pdf);
    EXPECT_EQ(reader.read(PdfViewer::okular, window("Five Pages.pdf")), std::nullopt);
    bus->answer(okular, "currentPage", 5U);
    EXPECT_EQ(reader.read(PdfViewer::okular, window("Five Pages.pdf"))->locator, url + "#page=5");

    // Evince's page is on the accessibility bus, in its document view.
    const AccessibilityElement frameOf = frame("Five Pages.pdf — Quarterly Figures");
    const AccessibilityElement view = tree->add(frameOf, node(Role::scrollPane));
    Node document = node(Role::documentFrame, "Document View");
    document.currentPage = 3;
    tree->add(view, document);
    context = reader.read(PdfViewer::evince, window("Five Pages.pdf — Quarterly Figures"));
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url + "#page=3");
    EXPECT_EQ(context->sourceApp, "Evince");

    // A file the viewer no longer has, or that is gone, is nothing.
    bus->answer(zathura, "filename", QString(homePath("Docs/gone.pdf")));
    EXPECT_EQ(reader.read(PdfViewer::zathura, window("gone.pdf")), std::nullopt);
    EXPECT_EQ(tree->offThreadReads, 0);
}

TEST_F(DesktopReaders, AFileManagerGivesItsFirstSelectedItemInItsWindowsFolder)
{
    const QString docs = homePath("Docs");
    const QString notes = writeFile("Docs/Notes é.txt", "notes\n");
    writeFile("Docs/Sub dir/x", "");
    const FileManagerReader reader(bus, tree, identity);

    // Thunar: the location entry names the folder; the side pane's places select their own row.
    const AccessibilityElement thunar = frame("Docs - Thunar");
    Node entry = node(Role::text);
    entry.text = docs + "/";
    tree->add(thunar, entry);
    const AccessibilityElement places = tree->add(thunar, node(Role::table));
    tree->add(places, node(Role::tableCell, "Docs", selected));
    const AccessibilityElement view = tree->add(thunar, node(Role::table));
    const AccessibilityElement otherRow = tree->add(view, node(Role::tableCell));
    tree->add(otherRow, node(Role::tableCell, "Sub dir"));
    const AccessibilityElement row = tree->add(view, node(Role::tableCell, "", selected));
    tree->add(row, node(Role::tableCell, "", selected));
    tree->add(row, node(Role::tableCell, "Notes é.txt", selected));
    const FileManagerWindow thunarWindow{pid, {}, "Docs - Thunar"};
    std::optional<CapturedContext> context = reader.read(FileManager::thunar, thunarWindow).context;
    ASSERT_TRUE(context);
    EXPECT_EQ(*context,
              (CapturedContext{"Notes é.txt", LocatorUrl::fileUrlText(notes, false), LinkType::file, "Thunar",
                               identity->makeIdentity(LocatorUrl::fileUrlText(notes), false)}));

    // Nautilus: the folder from FileManager1, owned by Nautilus itself; the name in the cell's label.
    const AccessibilityElement nautilus = frame("Docs");
    const AccessibilityElement grid = tree->add(nautilus, node(Role::table, "GtkGridView", {}));
    const AccessibilityElement cell =
        tree->add(grid, node(Role::tableCell, "NautilusGridCell", AccessibilityState::selected));
    const AccessibilityElement label =
        tree->add(tree->add(cell, node(Role::panel, "", {})), node(Role::label, "Sub dir", {}));
    const FileManagerWindow nautilusWindow{pid, "/org/gnome/Nautilus/window/1", "Docs"};
    const BusObject fileManager{"org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                "org.freedesktop.FileManager1"};
    bus->answer(
        fileManager, "OpenWindowsWithLocations",
        QVariantMap{{"/org/gnome/Nautilus/window/1", QVariantList{QUrl::fromLocalFile(docs).toString()}}});
    // Another file manager took the name first, and Nautilus answers on no connection of its own: the
    // panel says why nothing is captured.
    bus->own(fileManager.service, pid + 1);
    EXPECT_EQ(
        reader.read(FileManager::nautilus, nautilusWindow),
        WindowReading::nothingBecause(
            "Nautilus does not say which folder this window shows, so its selection cannot be captured."));
    bus->own(fileManager.service, pid);
    context = reader.read(FileManager::nautilus, nautilusWindow).context;
    ASSERT_TRUE(context);
    EXPECT_EQ(context->type, LinkType::folder);
    EXPECT_EQ(context->locator, LocatorUrl::fileUrlText(docs + "/Sub dir", true));

    // A cell that would lead out of the folder gives nothing; nothing selected, or an icon view, which
    // shows no selection, gives nothing with the reason; a window not on the bus, nothing to say.
    tree->edit(label, [](Node& n) { n.name = ".."; });
    EXPECT_EQ(reader.read(FileManager::nautilus, nautilusWindow), std::nullopt);
    tree->edit(cell, [](Node& n) { n.states = {}; });
    EXPECT_EQ(reader.read(FileManager::nautilus, nautilusWindow),
              WindowReading::nothingBecause("Select a file in Nautilus to capture it."));
    // Thunar: its list view selecting nothing leaves the side pane's place, which is no item of the
    // folder; its icon view is no table at all.
    tree->edit(row, [](Node& n) {
        n.states = {};
        n.children.clear();
    });
    EXPECT_EQ(reader.read(FileManager::thunar, thunarWindow).reason,
              "Select a file in Thunar to capture it.");
    tree->edit(view, [](Node& n) { n.role = Role::panel; });
    EXPECT_EQ(reader.read(FileManager::thunar, thunarWindow).reason,
              "Thunar's icon views do not show their selection to other programs: switch to the list view "
              "(Ctrl+2) to capture the selected file.");
    EXPECT_EQ(reader.read(FileManager::thunar, {pid + 1, {}, "Docs - Thunar"}), std::nullopt);
    EXPECT_EQ(tree->offThreadReads, 0);
}

TEST_F(DesktopReaders, ThunderbirdsSelectedRowIsFoundInItsFolderFileOrNothingIs)
{
    const QString inbox =
        writeFile("tb/Mail/Local Folders/Inbox",
                  "From - Mon Dec 07 09:15:00 2026\nMessage-ID: <notes@example.org>\nDate: Mon, 07 Dec 2026 "
                  "09:15:00 +0000\n"
                  "From: =?UTF-8?Q?Gr=C3=A5ce?= <grace@example.org>\nSubject: Notes, draft\n\nBody\n");
    auto index = std::make_shared<MailFolderIndex>();
    const ThunderbirdMessageReader reader(tree, index);
    const QString title = "Inbox - Local Folders - Mozilla Thunderbird";
    const AccessibilityElement frameOf = frame(title);
    const AccessibilityElement folders = tree->add(frameOf, node(Role::tree));
    tree->add(folders, node(Role::treeItem, "Inbox, 1 unread message", selected));
    // The spaces bar's buttons are rows of a list too, outside the thread pane's table.
    tree->add(tree->add(frameOf, node(Role::list)), node(Role::listItem, "Mail", selected));
    const AccessibilityElement threads = tree->add(frameOf, node(Role::table));
    const AccessibilityElement list = tree->add(threads, node(Role::list, "Inbox"));
    tree->add(list, node(Role::listItem, "Gråce <grace@example.org>, 09:15, Notes, draft, Read", selected));
    Node pane = node(Role::documentWeb, "Notes, draft");
    pane.documentAttributes.insert("DocURL",
                                   "mailbox://" + QString(QUrl::toPercentEncoding(inbox, "/")) + "?number=2");
    tree->add(frameOf, pane);

    const ScopedEnvironmentVariable utc("TZ", QByteArray("UTC"));
    const std::optional<CapturedContext> context = reader.read(window(title));
    ASSERT_TRUE(context);
    EXPECT_EQ(*context, (CapturedContext{"Notes, draft - Gråce <grace@example.org>",
                                         "message://%3Cnotes%40example.org%3E", LinkType::mail, "Thunderbird",
                                         std::nullopt}));
    EXPECT_EQ(reader.read(window(title)), context);
    EXPECT_EQ(index->folderReads(), 1) << "an unchanged folder is not read again";

    // A Thunderbird that does not answer.
    tree->edit(frameOf, [](Node& n) { n.fails = true; });
    EXPECT_EQ(reader.read(window(title)), std::nullopt);
}

TEST_F(DesktopReaders, AWindowIsWalkedOnceThenReadWhereItsPartsWereUntilTheyMoveOrItIsRetitled)
{
    const QString pdf = writeFile("Docs/Five Pages.pdf", "%PDF-1.4");
    QFile held(pdf);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    const PdfViewerReader reader(bus, tree, identity);
    const QString title = "Five Pages.pdf — Quarterly Figures";
    const AccessibilityElement evince = frame(title);
    // The thumbnails come before the document view: the walk that finds the view passes them all.
    const AccessibilityElement sidebar = tree->add(evince, node(Role::scrollPane));
    for (int i = 0; i < 40; ++i)
        tree->add(sidebar, node(Role::icon, QString("Page %1").arg(i + 1)));
    const AccessibilityElement pane = tree->add(evince, node(Role::scrollPane));
    Node document = node(Role::documentFrame, "Document View");
    document.currentPage = 3;
    const AccessibilityElement view = tree->add(pane, document);
    const auto pageRead = [&](const DesktopWindow& shown, int* reads = nullptr) {
        const int before = tree->reads;
        const std::optional<CapturedContext> context = reader.read(PdfViewer::evince, shown);
        if (reads)
            *reads = tree->reads - before;
        return context ? context->locator.section(u'#', 1) : QString("nothing");
    };

    int walked = 0;
    int direct = 0;
    EXPECT_EQ(pageRead(window(title), &walked), "page=3");
    tree->edit(view, [](Node& n) { n.currentPage = 4; });
    EXPECT_EQ(pageRead(window(title), &direct), "page=4");
    EXPECT_LT(direct * 4, walked) << "the second read goes to the view, not through the thumbnails";

    // The view rebuilt elsewhere (the sidebar closed): where it was leads nowhere, so the window is
    // walked again.
    tree->edit(evince, [&](Node& n) { n.children.removeOne(sidebar); });
    EXPECT_EQ(pageRead(window(title)), "page=4");
    tree->edit(pane, [&](Node& n) { n.children.clear(); });
    const AccessibilityElement split = tree->add(pane, node(Role::panel));
    tree->add(split, document);
    EXPECT_EQ(pageRead(window(title)), "page=3");

    // A window whose walk found no document view is not walked again while its title stays; it is
    // once retitled (a document opened in it).
    const AccessibilityElement loading = frame("Loading");
    for (int i = 0; i < 40; ++i)
        tree->add(loading, node(Role::label, "…"));
    EXPECT_EQ(pageRead(window("Loading", 2), &walked), "");
    EXPECT_EQ(pageRead(window("Loading", 2), &direct), "");
    EXPECT_LT(direct * 4, walked);
    tree->add(loading, document);
    EXPECT_EQ(pageRead(window("Loading", 2)), "") << "the same title: not walked";
    tree->edit(loading, [&](Node& n) { n.name = title; });
    tree->edit(evince, [&](Node& n) { n.name = "elsewhere"; });
    EXPECT_EQ(pageRead(window(title, 2)), "page=3");
    EXPECT_EQ(tree->offThreadReads, 0);
}

TEST_F(DesktopReaders, ThunderbirdFollowsTheSelectionInTheListItFoundWithoutWalkingAgain)
{
    const QByteArray date = "Date: Mon, 07 Dec 2026 09:15:00 +0000\n";
    const QString inbox = writeFile("tb/Mail/Local Folders/Inbox",
                                    "From - Mon Dec 07 09:15:00 2026\nMessage-ID: <plan@x>\n" + date +
                                        "From: ada@x\nSubject: Plan\n\nBody\n"
                                        "From - Mon Dec 07 09:15:00 2026\nMessage-ID: <notes@x>\n" +
                                        date + "From: grace@x\nSubject: Notes\n\nBody\n");
    const ThunderbirdMessageReader reader(tree, std::make_shared<MailFolderIndex>());
    const QString title = "Inbox - Local Folders - Mozilla Thunderbird";
    const AccessibilityElement thunderbird = frame(title);
    const AccessibilityElement folders = tree->add(thunderbird, node(Role::tree));
    for (int i = 0; i < 40; ++i)
        tree->add(folders, node(Role::treeItem, QString("Folder %1").arg(i)));
    const AccessibilityElement list = tree->add(tree->add(thunderbird, node(Role::table)), node(Role::list));
    const AccessibilityElement plan = tree->add(list, node(Role::listItem, "ada@x, 09:15, Plan", selected));
    const AccessibilityElement notes = tree->add(list, node(Role::listItem, "grace@x, 09:15, Notes"));
    tree->add(thunderbird,
              node(Role::documentWeb, "Plan", AccessibilityState::showing,
                   {{"DocURL", "mailbox://" + QString(QUrl::toPercentEncoding(inbox, "/")) + "?number=1"}}));
    const ScopedEnvironmentVariable utc("TZ", QByteArray("UTC"));
    const auto messageRead = [&](int* reads) {
        const int before = tree->reads;
        const std::optional<CapturedContext> context = reader.read(window(title));
        *reads = tree->reads - before;
        return context ? context->locator : QString("nothing");
    };

    int walked = 0;
    int direct = 0;
    EXPECT_EQ(messageRead(&walked), "message://%3Cplan%40x%3E");
    tree->edit(plan, [](Node& n) { n.states = AccessibilityState::showing; });
    tree->edit(notes, [&](Node& n) { n.states = selected; });
    tree->edit(list, [&](Node& n) { n.selected = {notes}; });
    EXPECT_EQ(messageRead(&direct), "message://%3Cnotes%40x%3E");
    EXPECT_LT(direct * 4, walked) << "the selected row is read from the list found before";

    // Nothing selected: nothing, still without a walk; a message selected then is read at once
    // (Thunderbird keeps its window's title when the selection changes).
    tree->edit(notes, [](Node& n) { n.states = AccessibilityState::showing; });
    tree->edit(list, [&](Node& n) { n.selected.clear(); });
    EXPECT_EQ(messageRead(&direct), "nothing");
    EXPECT_LT(direct * 4, walked);
    const ThunderbirdMessageReader fresh(tree, std::make_shared<MailFolderIndex>());
    EXPECT_EQ(fresh.read(window(title)), std::nullopt) << "walked with nothing selected";
    tree->edit(plan, [&](Node& n) { n.states = selected; });
    EXPECT_EQ(fresh.read(window(title))->locator, "message://%3Cplan%40x%3E");

    // Select-all in a large folder: the first selected message, read without visiting every row.
    QList<AccessibilityElement> everything{plan, notes};
    for (int i = 0; i < 20000; ++i)
        everything.append(
            tree->add(list, node(Role::listItem, QString("old@x, 08:00, Old %1").arg(i), selected)));
    tree->edit(notes, [&](Node& n) { n.states = selected; });
    tree->edit(list, [&](Node& n) { n.selected = everything; });
    EXPECT_EQ(messageRead(&direct), "message://%3Cplan%40x%3E");
    EXPECT_LT(direct * 4, walked);
}

TEST(WindowPathMemo, KeepsEachWindowAsItWasWalkedAndNothingOnlyForAWhile)
{
    WindowPathMemo memo;
    memo.remember({1, "Inbox"}, {{0, 2}, {3}});
    memo.remember({2, "Loading"}, {});
    EXPECT_EQ(memo.paths({1, "Inbox"}), (WindowPathMemo::Paths{{0, 2}, {3}}));
    EXPECT_EQ(memo.paths({1, "Drafts"}), std::nullopt) << "retitled";
    EXPECT_EQ(memo.paths({2, "Loading"}), WindowPathMemo::Paths{}) << "walked, and nothing was there";
    memo.forget({1, "Inbox"});
    EXPECT_EQ(memo.paths({1, "Inbox"}), std::nullopt);

    // Beyond its room the window remembered first goes, not the others.
    for (quint32 id = 10; id < 50; ++id)
        memo.remember({id, "w"}, {{1}});
    EXPECT_EQ(memo.paths({2, "Loading"}), std::nullopt);
    EXPECT_EQ(memo.paths({49, "w"}), (WindowPathMemo::Paths{{1}}));

    // A window that showed nothing is walked again once its while has passed.
    WindowPathMemo brief(std::chrono::milliseconds(0));
    brief.remember({1, "Inbox"}, {});
    brief.remember({2, "Inbox"}, {{1}});
    EXPECT_EQ(brief.paths({1, "Inbox"}), std::nullopt);
    EXPECT_EQ(brief.paths({2, "Inbox"}), (WindowPathMemo::Paths{{1}}));
}
