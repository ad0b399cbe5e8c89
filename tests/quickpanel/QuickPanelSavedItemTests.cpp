#include "LinkOpenerDoubles.h"
#include "QuickPanelTestSupport.h"
#include "TestFiles.h"

#include "foundation/LocatorUrl.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// A file the user has in front, as the file manager captures it.
CapturedContext fileInFront(const FileIdentityService& identity, const QString& path)
{
    return finderContext(identity, path);
}

qsizetype announcements(PanelFixture& fx)
{
    return fx.library.settledEvents().count("notify");
}

std::optional<QDateTime> openedAt(PanelFixture& fx, const LinkItem& item)
{
    return fx.store.link(item.id).result().value_or(LinkItem()).lastOpenedAt;
}

} // namespace

// The panel over a saved file finds it where only part of the evidence still holds: a capture whose
// identity has no volume (a file system that gives none) by its content and name, a renamed file by
// its identifiers, the link following the new name without announcing a change the user did not make.
TEST(QuickPanelSavedItems, ASavedFileIsShownAsSavedWhenItsEvidenceIsPartialOrItWasRenamed)
{
    PanelFixture fx;
    const FileIdentityService& identity = *fx.library.identity;
    const QString path = writeFile("docs/report.txt", "quarterly numbers");
    const LinkItem saved = fx.store.addCapturedContext(fileInFront(identity, path), {}, {}).result();
    const qsizetype before = announcements(fx);

    // The same file under the same name elsewhere (carried over by a file-sync program), on a file
    // system that names no volume: neither its address nor its identifiers can tell. The saved file
    // has left its place meanwhile (while it is there, another file is never taken for it).
    CapturedContext withoutVolume =
        fileInFront(identity, writeFile("synced/report.txt", "quarterly numbers"));
    ASSERT_TRUE(withoutVolume.fileIdentity && withoutVolume.fileIdentity->volumeIdentifier);
    const QString renamed = renameFile(path, "docs/renamed report.txt");
    withoutVolume.fileIdentity->volumeIdentifier.reset();
    fx.show({withoutVolume});
    ASSERT_FALSE(fx.model.state().results().isEmpty());
    EXPECT_EQ(fx.model.state().results()[0].kind(), PanelResult::Kind::link);
    EXPECT_EQ(fx.model.state().results()[0].linkItem().value_or(LinkItem()).id, saved.id);
    EXPECT_EQ(fx.store.link(saved.id).result().value_or(LinkItem()).lastKnownPath, path)
        << "the link keeps its own file; the copy is this machine's resolution";

    fx.show({fileInFront(identity, renamed)});
    ASSERT_FALSE(fx.model.state().results().isEmpty());
    const std::optional<LinkItem> shown = fx.model.state().results()[0].linkItem();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->id, saved.id);
    EXPECT_EQ(shown->url, LocatorUrl::fileUrlText(renamed));
    EXPECT_EQ(fx.store.link(saved.id).result().value_or(LinkItem()).lastKnownPath, renamed);
    EXPECT_EQ(announcements(fx), before);
}

// An open the desktop refuses (no application for the address, a file that is gone) still counts as
// the user's open: the time is recorded and the panel closes.
TEST(QuickPanelSavedItems, AnOpenThatFailsStillRecordsTheOpenAndClosesThePanel)
{
    LinkOpenerDoubles doubles;
    PanelFixture fx(doubles.opener);
    const LinkItem page = webLink("Page");
    fx.save({page});
    fx.show({webContext("Page")});
    ASSERT_EQ(fx.model.state().results()[0].linkItem().value_or(LinkItem()).id, page.id);

    EXPECT_FALSE(fx.await(fx.model.commands().activateSelection()));
    EXPECT_EQ(doubles.desktop->openedUrls, QStringList{page.url}) << "asked, and refused";
    EXPECT_TRUE(openedAt(fx, page));

    const QString path = writeFile("docs/gone.txt", "soon gone");
    const LinkItem file =
        fx.store.addCapturedContext(fileInFront(*fx.library.identity, path), {}, {}).result();
    QFile::remove(path);
    fx.type(QStringLiteral("gone"));
    ASSERT_FALSE(fx.model.state().results().isEmpty());
    ASSERT_EQ(fx.model.state().results().at(0).linkItem().value_or(LinkItem()).id, file.id);
    EXPECT_FALSE(fx.await(fx.model.commands().activateSelection()));
    EXPECT_TRUE(openedAt(fx, file));
}
