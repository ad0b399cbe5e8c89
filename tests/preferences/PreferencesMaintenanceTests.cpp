#include "PreferencesFixture.h"
#include "TestFiles.h"
#include "files/KnownRootsStore.h"
#include "foundation/LocatorUrl.h"
#include "preferences/PreferenceControls.h"

#include <QFile>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::withText;

// The Advanced page's message line: the one message whose text the settings model set last.
PreferenceMessage* outcomeLine(QWidget* page, const QString& text)
{
    auto* message = withText<PreferenceMessage>(page, text);
    return message && message->isVisibleTo(page) ? message : nullptr;
}

TEST(PreferencesMaintenanceTests, ExportThenImportGoThroughThePanelsAndTheQuestions)
{
    test::PreferencesFixture fx;
    QWidget* advanced = fx.window->sectionPage(PreferenceSection::advanced);
    fx.library->addLink("A", "https://example.com/a", {}, {}).waitForFinished();
    fx.library->addLink("B", "https://example.com/b", {}, {}).waitForFinished();
    const QString backup = test::testHome() + QStringLiteral("/Backup.json");

    // A cancelled panel writes nothing and says nothing.
    fx.click("Export Library…");
    ASSERT_EQ(fx.fileDialogs->requests.size(), 1);
    EXPECT_EQ(fx.fileDialogs->requests[0].suggestedName, "Morvane Library.json");
    EXPECT_FALSE(fx.preferences->databaseAction().message());

    fx.fileDialogs->answers = {backup};
    fx.click("Export Library…");
    EXPECT_EQ(fx.preferences->databaseAction().progressMessage(), "Exporting Morvane library...");
    fx.waitForDatabaseAction();
    auto* exported = outcomeLine(advanced, "Exported Morvane library to Backup.json.");
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(exported->messageStyle(), MessageStyle::secondary);
    EXPECT_TRUE(fx.button("Export Library…")->isEnabled());

    // Replace asks twice; Return in the second question, which cancels, imports nothing.
    fx.fileDialogs->answers = {backup};
    fx.alerts->answers = {1, test::ScriptedAlertPresenter::returnKey};
    fx.click("Import Library…");
    ASSERT_TRUE(test::eventually([&] { return fx.alerts->shown.size() == 2; }));
    const Alert& question = fx.alerts->shown[0];
    EXPECT_EQ(question.messageText, "Import Morvane Library?");
    EXPECT_EQ(question.buttons, (QStringList{"Merge", "Replace Local Library", "Cancel"}));
    EXPECT_EQ(
        question.informativeText.split("\n\n").mid(0, 2),
        (QStringList{"Backup.json contains 2 link(s) and 0 relation(s).",
                     "2 link(s) and 0 relation(s) already exist locally and will be updated when merged."}));
    EXPECT_EQ(fx.alerts->shown[1].messageText, "Replace Local Morvane Library?");
    EXPECT_EQ(fx.alerts->shown[1].informativeText,
              "This removes the current local library before importing 2 link(s) and 0 relation(s) from "
              "Backup.json. This cannot be undone except by importing another backup.");
    EXPECT_FALSE(fx.preferences->databaseAction().inProgress());
    EXPECT_NE(outcomeLine(advanced, "Exported Morvane library to Backup.json."), nullptr);

    fx.fileDialogs->answers = {backup};
    fx.alerts->answers = {0};
    fx.click("Import Library…");
    ASSERT_TRUE(test::eventually([&] { return fx.alerts->shown.size() == 3; }));
    fx.waitForDatabaseAction();
    EXPECT_NE(outcomeLine(advanced,
                          "Imported 2 link(s) and 0 relation(s) from Backup.json. Local library now "
                          "has 2 link(s) and 0 relation(s)."),
              nullptr);

    // A file of another format version asks nothing and says why, as an error.
    QFile newer(test::testHome() + QStringLiteral("/Newer.json"));
    ASSERT_TRUE(newer.open(QIODevice::WriteOnly));
    newer.write(R"({"formatVersion":2,"exportedAt":"2024-05-01T09:30:12Z","links":[],"relations":[]})");
    newer.close();
    fx.fileDialogs->answers = {newer.fileName()};
    fx.click("Import Library…");
    ASSERT_TRUE(test::eventually([&] {
        return fx.preferences->databaseAction().message().value_or("").startsWith(
            "Could not read import file: ");
    }));
    EXPECT_EQ(fx.alerts->shown.size(), 3);
    auto* refused = outcomeLine(advanced, *fx.preferences->databaseAction().message());
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->messageStyle(), MessageStyle::error);
}

TEST(PreferencesMaintenanceTests, EraseRunsOnlyAfterTheConfirmation)
{
    test::PreferencesFixture fx;
    QWidget* advanced = fx.window->sectionPage(PreferenceSection::advanced);
    fx.library->addLink("A", "https://example.com/a", {}, {}).waitForFinished();

    // Return answers Cancel.
    fx.alerts->answers = {test::ScriptedAlertPresenter::returnKey};
    fx.click("Erase All Morvane Data…");
    ASSERT_EQ(fx.alerts->shown.size(), 1);
    EXPECT_EQ(fx.alerts->shown[0].messageText, "Erase all Morvane data?");
    EXPECT_EQ(fx.alerts->shown[0].buttons, (QStringList{"Erase Everything", "Cancel"}));
    EXPECT_FALSE(fx.preferences->databaseAction().inProgress());
    EXPECT_EQ(fx.library->allLinks().result().size(), 1);

    fx.alerts->answers = {0};
    fx.click("Erase All Morvane Data…");
    fx.waitForDatabaseAction();
    EXPECT_NE(outcomeLine(advanced, "All Morvane links and relations on this computer were erased."),
              nullptr);
    EXPECT_TRUE(fx.library->allLinks().result().isEmpty());
    EXPECT_TRUE(fx.button("Erase All Morvane Data…")->isEnabled());
}

TEST(PreferencesMaintenanceTests, AScanListsAMovedFileAndConfirmingACandidateRelinksIt)
{
    test::PreferencesFixture fx;
    QWidget* advanced = fx.window->sectionPage(PreferenceSection::advanced);
    const QString original = test::writeFile("papers/report.pdf", "%PDF report");
    FileIdentityService identity(std::make_shared<FileHashCache>());
    const LinkItem saved =
        fx.library
            ->addCapturedContext({"report.pdf", LocatorUrl::fileUrlText(original), LinkType::file, "Finder",
                                  identity.makeIdentity(LocatorUrl::fileUrlText(original), false)},
                                 {}, {})
            .result();
    const QString moved = test::renameFile("papers/report.pdf", "archive/report.pdf");

    // The folder chooser adds a known root; both lists of the window show it.
    EXPECT_NE(withText<PreferenceMessage>(advanced,
                                          "Add folders you approve Morvane to scan when files move. "
                                          "Morvane never scans the whole disk silently."),
              nullptr);
    fx.fileDialogs->answers = {test::homePath("archive")};
    fx.click("Add Known Root…");
    EXPECT_EQ(fx.defaults->stringListValue(KnownRootsStore::key), QStringList{test::homePath("archive")});
    QWidget* files = fx.window->sectionPage(PreferenceSection::files);
    EXPECT_EQ(withText<PreferenceMessage>(files, "No folders added yet."), nullptr);

    fx.click("Scan Repairs");
    ASSERT_TRUE(test::eventually([&] { return fx.button("Confirm") != nullptr; }));
    EXPECT_NE(outcomeLine(advanced, "Found 1 file repair issue."), nullptr);
    EXPECT_NE(withText<QLabel>(advanced, "report.pdf"), nullptr);

    fx.click("Confirm");
    ASSERT_TRUE(test::eventually([&] { return fx.button("Confirm") == nullptr; }));
    EXPECT_NE(outcomeLine(advanced, "Relinked “report.pdf” to report.pdf."), nullptr);
    const LinkItem relinked = fx.library->allLinks().result().constFirst();
    EXPECT_EQ(relinked.id, saved.id);
    EXPECT_EQ(relinked.lastKnownPath, moved);
}

} // namespace
} // namespace morvane
