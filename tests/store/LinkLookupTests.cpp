#include "LinkStoreTestSupport.h"

#include "foundation/Uuid.h"
#include "platform/FileBookmarks.h"
#include "platform/FolderWalker.h"
#include "store/LinkLookup.h"
#include "store/LinkWriter.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

struct LookupFixture : LibraryFixture {
    LinkWriter writer{sqlite, parser, *identity};
    LinkLookup lookup{sqlite, parser, *identity};

    LinkItem save(const QString& path, const std::optional<QString>& locator = std::nullopt)
    {
        return writer.addCapturedContext(finderContext(*identity, path, locator), {}, {});
    }
};

// Counts the walks a bookmark search starts.
class CountingWalker : public FolderWalker {
public:
    bool walk(const QString& root, const WalkOptions& options,
              const std::function<WalkStep(const WalkEntry&)>& visit) const override
    {
        ++walks;
        return LinuxFolderWalker().walk(root, options, visit);
    }

    mutable std::atomic<int> walks{0};
};

CapturedContext webContext(const QString& locator)
{
    return {QString(), locator, LinkType::web, QStringLiteral("Safari"), std::nullopt};
}

} // namespace

TEST(LinkLookup, LocatorLookupsAcceptTheOtherSlashAndTheParsersFormButNotAPdfPage)
{
    LookupFixture fx;
    const LinkItem web = fx.writer.addLink({}, QStringLiteral("https://example.com/docs/"), {}, {});
    EXPECT_EQ(fx.lookup.findLink(webContext(QStringLiteral("https://example.com/docs")))->id, web.id);

    // A typed path is saved as its file URL and found from the typed form too.
    const LinkItem typed = fx.writer.addLink({}, QStringLiteral("/nowhere/a b.txt"), {}, {});
    EXPECT_EQ(fx.lookup.linkForLocator(webContext(QStringLiteral("/nowhere/a b.txt")))->id, typed.id);
    EXPECT_FALSE(fx.lookup.linkForLocator(webContext(QStringLiteral("gopher://x"))));

    // Page 3 of a saved PDF is not the saved PDF.
    const QString pdf = writeFile(QStringLiteral("papers/paper.pdf"), "%PDF-1.4");
    fx.save(pdf);
    const CapturedContext page = finderContext(*fx.identity, pdf, LocatorUrl::fileUrlText(pdf) + "#page=3");
    EXPECT_FALSE(fx.lookup.findLink(page));
}

TEST(LinkLookup, ARenamedFileIsFoundByItsIdentityAndTheLinkFollowsIt)
{
    LookupFixture fx;
    const QString path = writeFile(QStringLiteral("docs/draft.txt"), "draft");
    const LinkItem saved = fx.save(path);
    const QString moved = homePath(QStringLiteral("docs/final.txt"));
    renameFile(path, moved);

    const auto found = fx.lookup.findLink(finderContext(*fx.identity, moved));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->url, LocatorUrl::fileUrlText(moved));
    EXPECT_EQ(found->contentHash, saved.contentHash); // kept from the stored evidence
    EXPECT_EQ(fx.sqlite.link(saved.id), found);
    // A second lookup finds it by locator and writes nothing.
    EXPECT_EQ(fx.lookup.findLink(finderContext(*fx.identity, moved)), found);
}

TEST(LinkLookup, APdfPageLinkKeepsItsPageWhenItsFileIsRenamed)
{
    LookupFixture fx;
    const QString path = writeFile(QStringLiteral("papers/paper.pdf"), "%PDF-1.4 content");
    const LinkItem saved = fx.save(path, LocatorUrl::fileUrlText(path) + "#page=3");
    const QString moved = homePath(QStringLiteral("papers/renamed paper.pdf"));
    renameFile(path, moved);

    const auto found = fx.lookup.findLink(finderContext(*fx.identity, moved));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->url, LocatorUrl::fileUrlText(moved) + "#page=3");

    // Already up to date: the comparison takes the page into account and writes nothing.
    EXPECT_EQ(fx.lookup.updateFileIdentity(*found, *finderContext(*fx.identity, moved).fileIdentity), *found);
}

TEST(LinkLookup, ACopyWithTheSameContentIsFoundByFingerprintOnlyUnderItsName)
{
    LookupFixture fx;
    const QString original = writeFile(QStringLiteral("mac-a/report.txt"), "quarterly numbers");
    const LinkItem saved = fx.save(original);
    // The same content under the same name elsewhere: found, through an unconfirmed resolution.
    // (Written before the original goes, so that it cannot take over the original's inode.)
    const QString copy = writeFile(QStringLiteral("mac-b/report.txt"), "quarterly numbers");
    QFile::remove(original); // the link came from another machine: its file is not here
    const auto found = fx.lookup.findLink(finderContext(*fx.identity, copy));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->lastKnownPath, original); // the link's own path stays
    EXPECT_EQ(fx.sqlite.localResolution(saved.id).value_or(FileIdentity()).lastKnownPath, copy);
    EXPECT_EQ(fx.count(QStringLiteral("SELECT confirmed_by_user FROM link_local_resolutions")), 0);

    // Under another name it is not found (only offered for confirmation).
    EXPECT_FALSE(fx.lookup.findLink(
        finderContext(*fx.identity, writeFile(QStringLiteral("mac-b/q3.txt"), "quarterly numbers"))));
}

TEST(LinkLookup, TheFingerprintStepTestsEveryLinkWithThatContentForTheName)
{
    LookupFixture fx;
    // Two saved copies of one content; the one ordered first has another name.
    const QString first = writeFile(QStringLiteral("a/a-copy.txt"), "shared content");
    const QString second = writeFile(QStringLiteral("b/notes.txt"), "shared content");
    fx.save(first);
    const LinkItem named = fx.save(second);
    const QString here = writeFile(QStringLiteral("c/notes.txt"), "shared content");
    QFile::remove(first);
    QFile::remove(second);
    const auto found = fx.lookup.findLink(finderContext(*fx.identity, here));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, named.id);
}

TEST(LinkLookup, BookmarksOfGoneFilesAreComparedByTheirRecordedIdentityWithoutASearch)
{
    LookupFixture fx;
    const auto walker = std::make_shared<CountingWalker>();
    FileIdentityPlatform platform = FileIdentityPlatform::system();
    platform.bookmarks = std::make_shared<LinuxFileBookmarks>(platform.probe, platform.volumes, walker);
    const FileIdentityService identity(std::make_shared<FileHashCache>(), platform);
    LinkLookup lookup(fx.sqlite, fx.parser, identity);

    // Links whose identifiers were not kept (as after an import), so only their bookmarks can tell.
    for (const char* name : {"gone-1.txt", "gone-2.txt", "moved.txt"})
        fx.save(writeFile(QStringLiteral("docs/") + name, name));
    fx.sqlite.execute(
        QStringLiteral("UPDATE links SET file_resource_identifier = NULL, last_known_path = NULL"));
    const LinkItem damaged = fx.save(writeFile(QStringLiteral("docs/damaged.txt"), "d"));
    fx.sqlite.execute(
        QStringLiteral("UPDATE links SET bookmark_data = 'junk', file_resource_identifier = NULL "
                       "WHERE id = ?"),
        {uuidString(damaged.id)});
    QFile::remove(homePath(QStringLiteral("docs/gone-1.txt")));
    QFile::remove(homePath(QStringLiteral("docs/gone-2.txt")));
    const QString moved = homePath(QStringLiteral("elsewhere/renamed.txt"));
    renameFile(homePath(QStringLiteral("docs/moved.txt")), moved);

    const auto found = lookup.findLink(finderContext(identity, moved));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->lastKnownPath, moved);
    static QStringList logged;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
            if (context.category && QLatin1String(context.category) == QLatin1String("morvane.FileIdentity"))
                logged.append(message);
        });
    EXPECT_FALSE(lookup.findLink(finderContext(identity, writeFile(QStringLiteral("new.txt"), "new"))));
    qInstallMessageHandler(previous);
    EXPECT_EQ(walker->walks, 0);
    // Only a bookmark that cannot be read at all is worth a log line.
    EXPECT_EQ(logged, QStringList(1, QStringLiteral("Failed to resolve file bookmark: The bookmark data "
                                                    "isn’t in the correct format.")));
}

TEST(LinkLookup, NamesMatchByPathThenUrlThenTitleUnderCanonicalEquivalence)
{
    LinkItem item;
    item.title = QStringLiteral("Quarterly");
    item.url = QStringLiteral("file:///x/Caf%C3%A9.txt");
    EXPECT_TRUE(LinkLookup::nameMatches(QStringLiteral("Café.txt"), item));
    EXPECT_TRUE(LinkLookup::nameMatches(QStringLiteral("Cafe\u0301.txt"), item)); // decomposed
    EXPECT_TRUE(LinkLookup::nameMatches(QStringLiteral("Quarterly"), item));
    item.lastKnownPath = QStringLiteral("/y/moved.txt");
    EXPECT_TRUE(LinkLookup::nameMatches(QStringLiteral("moved.txt"), item));
    EXPECT_FALSE(LinkLookup::nameMatches(QStringLiteral("cafe.txt"), item));
}
