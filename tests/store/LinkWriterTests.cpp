#include "LinkStoreTestSupport.h"

#include "store/LinkWriter.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(LinkWriter, AWebLinkHasNoFileEvidenceAndACapturedFileKeepsItsOwn)
{
    LibraryFixture fx;
    LinkWriter writer(fx.sqlite, fx.parser, *fx.identity);
    const LinkItem web = writer.addLink(QStringLiteral("Docs"), QStringLiteral("https://example.com/docs"),
                                        QStringLiteral("read later"), QStringLiteral("Work, reading,work"));
    EXPECT_EQ(web.tags, (QStringList{"reading", "work"}));
    EXPECT_EQ(web.notes, "read later");
    EXPECT_EQ(
        fx.count(QStringLiteral("SELECT COUNT(*) FROM links WHERE bookmark_data IS NULL AND "
                                "file_resource_identifier IS NULL AND volume_identifier IS NULL AND "
                                "last_known_path IS NULL AND content_hash IS NULL AND file_size IS NULL")),
        1);
    EXPECT_EQ(web.createdAt, web.updatedAt);

    const QString path = writeFile(QStringLiteral("docs/plan.txt"), "the plan");
    const CapturedContext context = finderContext(*fx.identity, path);
    const LinkItem file = writer.addCapturedContext(context, {}, {});
    EXPECT_EQ(file.sourceApp, "Finder");
    EXPECT_EQ(file.bookmarkData, context.fileIdentity->bookmarkData);
    EXPECT_EQ(file.fileResourceIdentifier, context.fileIdentity->fileResourceIdentifier);
    EXPECT_EQ(file.volumeIdentifier, context.fileIdentity->volumeIdentifier);
    EXPECT_EQ(file.fileSize, 8);
    EXPECT_EQ(file.contentHash, fx.identity->makeIdentity(context.locator, true)->contentHash);
}

TEST(LinkWriter, AFailedTagWriteLeavesNoHalfSavedLink)
{
    LibraryFixture fx;
    fx.sqlite.execute(QStringLiteral("CREATE TRIGGER refuse_tags BEFORE INSERT ON link_tags "
                                     "BEGIN SELECT RAISE(ABORT, 'tags refused'); END"));
    LinkWriter writer(fx.sqlite, fx.parser, *fx.identity);
    EXPECT_THROW(writer.addLink({}, QStringLiteral("https://example.com"), {}, QStringLiteral("a")),
                 StoreError);
    EXPECT_EQ(fx.count(QStringLiteral("SELECT COUNT(*) FROM links")), 0);

    // A retry once tags can be written saves the link exactly once.
    fx.sqlite.execute(QStringLiteral("DROP TRIGGER refuse_tags"));
    writer.addLink({}, QStringLiteral("https://example.com"), {}, QStringLiteral("a"));
    EXPECT_EQ(fx.count(QStringLiteral("SELECT COUNT(*) FROM links")), 1);
}
