#include "QuickPanelTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using ModeKind = QuickPanelMode::Kind;

namespace {

// A page in front that is saved and related to Alpha and Beta; Gamma stands alone.
struct CommandFixture : PanelFixture {
    LinkItem page = webLink("Page"), alpha = webLink("Alpha"), beta = webLink("Beta"),
             gamma = webLink("Gamma");

    CommandFixture()
    {
        save({page, alpha, beta, gamma}, {{page, alpha}, {beta, page}});
        show({webContext("Page")});
    }

    // Announcements of library changes delivered so far.
    qsizetype announcements() { return library.settledEvents().count("notify"); }
};

} // namespace

TEST(QuickPanelCommands, OpeningAndRelating)
{
    CommandFixture fx;
    const QList<PanelResult> rows = fx.model.state().results();
    EXPECT_FALSE(fx.await(fx.model.commands().activateSelection()));
    ASSERT_EQ(fx.opened.size(), 1);
    EXPECT_EQ(fx.opened[0].id, fx.page.id);
    EXPECT_TRUE(fx.store.link(fx.page.id).result()->lastOpenedAt);
    EXPECT_EQ(fx.model.state().results(), rows);
    EXPECT_EQ(fx.model.state().message(), "Showing links for the active Safari page.");

    EXPECT_FALSE(fx.await(fx.model.commands().completeRelation())) << "not in relation mode";
    fx.model.commands().beginRelation();
    fx.settle();
    ASSERT_TRUE(fx.model.state().mode().is(ModeKind::chooseRelationSource));
    EXPECT_EQ(fx.model.state().mode().link()->id, fx.page.id);
    EXPECT_EQ(fx.model.state().message(), "Select an item to link");
    EXPECT_EQ(fx.model.state().results().size(), 4) << "the recent links of the empty search";

    fx.model.state().selectResult(fx.titles().indexOf("Page"));
    EXPECT_FALSE(fx.await(fx.model.commands().completeRelation()));
    EXPECT_EQ(fx.model.state().message(), "Choose a different item to link to.");
    EXPECT_TRUE(fx.model.state().mode().is(ModeKind::chooseRelationSource));

    fx.type("Gamma");
    EXPECT_TRUE(fx.await(fx.model.commands().completeRelation()));
    EXPECT_EQ(fx.model.state().mode(), QuickPanelMode::search());
    EXPECT_EQ(fx.model.search().query(), "");
    EXPECT_EQ(fx.titles(), QStringList({"Page", "Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(fx.model.state().message(), "Linked “Page” to “Gamma”.");
    EXPECT_EQ(fx.announcements(), 1);

    // Relating them again is no error and reads the same.
    fx.model.commands().beginRelation();
    fx.type("Gamma");
    EXPECT_TRUE(fx.await(fx.model.commands().completeRelation()));
    EXPECT_EQ(fx.model.state().message(), "Linked “Page” to “Gamma”.");
}

TEST(QuickPanelCommands, BacklinksAndRemovingRelations)
{
    CommandFixture fx;
    fx.model.commands().requestRemoveRelation();
    EXPECT_EQ(fx.model.state().message(),
              "Select a linked item in the list, then press Ctrl+Shift+Backspace (or Ctrl+Shift+Delete).");
    EXPECT_FALSE(fx.model.commands().pendingRelationDelete());

    // Search mode: the first row is the base; afterwards it is shown again with what is left.
    fx.model.state().moveSelection(1);
    ASSERT_TRUE(fx.model.commands().canRemoveRelation());
    fx.model.commands().requestRemoveRelation();
    ASSERT_TRUE(fx.model.commands().pendingRelationDelete());
    EXPECT_EQ(fx.model.commands().pendingRelationDelete()->source.id, fx.page.id);
    EXPECT_EQ(fx.model.commands().pendingRelationDelete()->target.id, fx.alpha.id);
    fx.model.commands().confirmRemoveRelation();
    EXPECT_FALSE(fx.model.commands().pendingRelationDelete()) << "cleared before the write";
    fx.settle();
    EXPECT_EQ(fx.titles(), QStringList({"Page", "Beta"}));
    EXPECT_EQ(fx.model.state().selectedIndex(), 0);
    EXPECT_EQ(fx.model.state().message(), "Removed relation between “Page” and “Alpha”.");
    EXPECT_EQ(fx.relatedIDs(fx.page), QList<QUuid>({fx.beta.id}));

    // Backlinks mode: the list is the related links, and the selection stays in it.
    fx.save({}, {{fx.page, fx.gamma}});
    fx.model.commands().showBacklinks();
    fx.settle();
    EXPECT_EQ(fx.model.state().mode().link()->id, fx.page.id);
    EXPECT_EQ(fx.titles(), QStringList({"Beta", "Gamma"}));
    EXPECT_EQ(fx.model.state().message(), "Removed relation between “Page” and “Alpha”.") << "left as it was";
    fx.model.state().moveSelection(5);
    fx.model.commands().requestRemoveRelation();
    fx.model.commands().confirmRemoveRelation();
    fx.settle();
    EXPECT_EQ(fx.titles(), QStringList({"Beta"}));
    EXPECT_EQ(fx.model.state().selectedIndex(), 0);
    EXPECT_EQ(fx.model.state().message(), "Removed relation between “Page” and “Gamma”.");
    EXPECT_TRUE(fx.model.state().mode().is(ModeKind::backlinks));

    // A pending removal confirmed after the user left for the add form: only the message tells.
    fx.model.commands().requestRemoveRelation();
    fx.model.newLink().begin();
    fx.model.commands().confirmRemoveRelation();
    fx.settle();
    EXPECT_EQ(fx.model.state().message(), "Removed relation between “Page” and “Beta”.");
    EXPECT_TRUE(fx.model.state().mode().is(ModeKind::add));
    EXPECT_EQ(fx.announcements(), 3);
}

// A typed search offers removal between any two links with relations; a pair that is not related
// is refused when confirmed, and nothing is written or announced.
TEST(QuickPanelCommands, RemovingAPairThatIsNotRelated)
{
    CommandFixture fx;
    fx.type("a"); // Alpha, Beta, Gamma, Page: each has a relation
    ASSERT_EQ(fx.titles().first(), "Alpha");
    fx.model.state().selectResult(fx.titles().indexOf("Beta"));
    fx.settle();
    ASSERT_TRUE(fx.model.commands().canRemoveRelation());
    fx.model.commands().requestRemoveRelation();
    fx.model.commands().confirmRemoveRelation();
    fx.settle();
    EXPECT_EQ(fx.model.state().message(), "No relation between these items.");
    EXPECT_EQ(fx.relatedIDs(fx.page), QList<QUuid>({fx.alpha.id, fx.beta.id}));
    EXPECT_EQ(fx.announcements(), 0);
    const qint64 tombstones =
        LinkStoreDatabase(fx.store)
            .run([](SQLiteStore& sqlite) { return sqlite.reads().allDeletedRecords().size(); })
            .result();
    EXPECT_EQ(tombstones, 0);
}

TEST(QuickPanelCommands, DeletingAndCopying)
{
    CommandFixture fx;
    fx.model.commands().copySelected(CopyFormat::url);
    fx.model.commands().copySelected(CopyFormat::morvaneMarkdown);
    EXPECT_EQ(fx.clipboard->written, QStringList({fx.page.url, fx.page.markdownLink()}));
    EXPECT_EQ(fx.model.state().message(), "Morvane Markdown link copied");

    // Delete the base of a backlinks list: back to what is in front, which is no longer saved.
    fx.model.commands().requestDelete();
    ASSERT_EQ(fx.model.commands().pendingDeleteItem().value_or(LinkItem()).id, fx.page.id);
    fx.model.commands().showBacklinks();
    fx.settle();
    fx.model.commands().confirmDelete();
    EXPECT_FALSE(fx.model.commands().pendingDeleteItem()) << "cleared before the store is touched";
    fx.settle();
    EXPECT_EQ(fx.model.state().mode(), QuickPanelMode::search());
    EXPECT_EQ(fx.model.state().message(), "Deleted Page.");
    EXPECT_EQ(fx.model.state().results().size(), 1);
    EXPECT_EQ(fx.model.state().results()[0].kind(), PanelResult::Kind::capture);
    EXPECT_EQ(fx.announcements(), 1);

    // Nothing saved is selected: copy as URL does nothing, the others and delete say why.
    fx.clipboard->written.clear();
    fx.model.commands().copySelected(CopyFormat::url);
    EXPECT_EQ(fx.model.state().message(), "Deleted Page.");
    fx.model.commands().copySelected(CopyFormat::morvane);
    EXPECT_EQ(fx.model.state().message(), "Select a saved link to copy a Morvane link.");
    fx.model.commands().requestDelete();
    EXPECT_EQ(fx.model.state().message(), "Select a saved link to delete.");
    EXPECT_TRUE(fx.clipboard->written.isEmpty());
}

TEST(QuickPanelCommands, TheAddForm)
{
    PanelFixture fx;
    fx.model.newLink().begin();
    fx.model.newLink().setTitle("Docs");
    fx.model.newLink().setLocator("https://docs.example/");
    fx.model.newLink().setTags("one, ,two");
    fx.model.newLink().save();
    fx.model.newLink().save(); // a second press while the first save runs
    fx.settle();
    EXPECT_EQ(fx.linkCount(), 1);
    EXPECT_EQ(fx.model.state().mode(), QuickPanelMode::search());
    EXPECT_EQ(fx.model.state().message(), "No active context. Type to search all links.") << "reloaded";
    EXPECT_EQ(fx.store.searchLinks("Docs").result().value(0).tags, QStringList({"one", "two"}));
    EXPECT_EQ(fx.model.newLink().title(), "Docs") << "the fields are cleared when the form opens";
    fx.model.newLink().begin();
    EXPECT_EQ(fx.model.newLink().title(), "");
}
