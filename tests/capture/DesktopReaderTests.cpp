#include "AccessibilityTree.h"
#include "FakeSessionBus.h"
#include "TestFiles.h"

#include "capture/FileManagerReader.h"
#include "capture/MailFolderIndex.h"
#include "capture/PdfViewerReader.h"
#include "capture/ThunderbirdMessageReader.h"
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
    std::optional<CapturedContext> context = reader.read(PdfViewer::zathura, pid, pdf);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url + "#page=3");
    EXPECT_EQ(context->title, "Five Pages.pdf");
    EXPECT_EQ(context->sourceApp, "Zathura");
    ASSERT_TRUE(context->fileIdentity);
    EXPECT_EQ(context->fileIdentity->lastKnownPath, pdf);

    // A viewer that does not answer: the file it holds open, without a page.
    context = reader.read(PdfViewer::okular, pid, "Five Pages.pdf");
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url);

    // Evince's page is on the accessibility bus, in its document view.
    const AccessibilityElement window = frame("Five Pages.pdf — Quarterly Figures");
    const AccessibilityElement view = tree->add(window, node(Role::scrollPane));
    Node document = node(Role::documentFrame, "Document View");
    document.currentPage = 3;
    tree->add(view, document);
    context = reader.read(PdfViewer::evince, pid, "Five Pages.pdf — Quarterly Figures");
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, url + "#page=3");
    EXPECT_EQ(context->sourceApp, "Evince");

    // A file the viewer no longer has, or that is gone, is nothing.
    bus->answer(zathura, "filename", QString(homePath("Docs/gone.pdf")));
    EXPECT_EQ(reader.read(PdfViewer::zathura, pid, "gone.pdf"), std::nullopt);
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
    const AccessibilityElement window = frame(title);
    const AccessibilityElement folders = tree->add(window, node(Role::tree));
    tree->add(folders, node(Role::treeItem, "Inbox, 1 unread message", selected));
    const AccessibilityElement list = tree->add(window, node(Role::list, "Inbox"));
    tree->add(list, node(Role::listItem, "Gråce <grace@example.org>, 09:15, Notes, draft, Read", selected));
    Node pane = node(Role::documentWeb, "Notes, draft");
    pane.documentAttributes.insert("DocURL",
                                   "mailbox://" + QString(QUrl::toPercentEncoding(inbox, "/")) + "?number=2");
    tree->add(window, pane);

    qputenv("TZ", "UTC");
    const std::optional<CapturedContext> context = reader.read(pid, title);
    ASSERT_TRUE(context);
    EXPECT_EQ(*context, (CapturedContext{"Notes, draft - Gråce <grace@example.org>",
                                         "message://%3Cnotes%40example.org%3E", LinkType::mail, "Thunderbird",
                                         std::nullopt}));
    EXPECT_EQ(reader.read(pid, title), context);
    EXPECT_EQ(index->folderReads(), 1) << "an unchanged folder is not read again";

    // A Thunderbird that does not answer.
    tree->edit(window, [](Node& n) { n.fails = true; });
    EXPECT_EQ(reader.read(pid, title), std::nullopt);
    qunsetenv("TZ");
}
