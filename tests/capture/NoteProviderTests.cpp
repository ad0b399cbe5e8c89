#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "capture/CaptureText.h"
#include "capture/DEVONthinkActiveContextProvider.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "files/ObsidianFiles.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// "title | locator" of what the provider captured, then its log lines.
QString outcome(ActiveContextProvider& provider, const LogCapture& log)
{
    const std::optional<CapturedContext> context = provider.captureContext();
    return (QStringList(context ? context->title + " | " + context->locator : QString()) + log.lines())
        .join(u'\n')
        .trimmed();
}

// A vault in the home with this workspace and these (empty) notes; its path.
QString vault(const QString& name, const QByteArray& workspace, const QStringList& notes = {})
{
    for (const QString& note : notes)
        writeFile(name + u'/' + note, "");
    return QFileInfo(writeFile(name + "/.obsidian/workspace.json", workspace)).path().chopped(10);
}

void writeRegistry(const QString& location, const QList<ObsidianVault>& vaults)
{
    QStringList entries;
    for (const ObsidianVault& v : vaults)
        entries << QString("\"%1\": {\"path\": \"%2\", \"open\": %3}")
                       .arg(entries.size())
                       .arg(v.path, v.isOpen ? "true" : "false");
    writeFile(location, ("{\"vaults\": {" + entries.join(", ") + "}}").toUtf8());
}

QString obsidianCapture()
{
    ObsidianActiveContextProvider provider(std::make_shared<FakeWorkspace>(QStringLiteral("md.obsidian")));
    return outcome(provider, LogCapture(QStringLiteral("morvane.ObsidianContext")));
}

QByteArray leaf(const char* type, const char* file, const char* id = "x")
{
    return QString(R"({"id": "%1", "state": {"type": "%2", "state": {"file": %3}}})")
        .arg(id, type, file)
        .toUtf8();
}

} // namespace

TEST(DEVONthinkProvider, TargetsLocatorsAndTitles)
{
    const QString lower = "8f2c3c1e-5b1a-4c2e-9d3f-0a1b2c3d4e5f";
    const QString item = "x-devonthink-item://";
    const QString longReference = item + lower + "?" + QString("a").repeated(4097 - 57);
    // "|" stands for the separator. The answers of "DNtp" and of the identifier, in turn.
    const std::tuple<ScriptOutcome, QString, QString> cases[] = {
        {ScriptOutcome::failure("-1743"), "Plan|" + item + lower + "|" + lower,
         "Plan | " + item + lower + "\nUnable to read DEVONthink via DNtp: <private>"},
        {ScriptOutcome::answer("\n"), " |  " + lower + " |", "DEVONthink item | " + item + lower.toUpper()},
        {ScriptOutcome::answer(QString("é").repeated(600) + "|" + longReference + "|" + lower), "",
         QString("é").repeated(500) + " | " + item + lower.toUpper()},
        {ScriptOutcome::answer("N|" + item + "?UUID=" + lower + "|"), "", "N | " + item + "?UUID=" + lower},
        {ScriptOutcome::answer("N|https://" + lower + "|"), "",
         "Ignored DEVONthink item without a valid x-devonthink-item locator: <private>"},
        {ScriptOutcome::answer("N only"), "", "Ignored malformed DEVONthink selection payload"},
        {ScriptOutcome::answer(""), "",
         "DEVONthink context unavailable (no selection, empty window, or Automation not allowed)"},
    };
    for (auto [first, second, expected] : cases) {
        ProviderFixture fx;
        fx.workspace->activate("org.example.DevonThink-Mini"); // any identifier naming both words
        if (first.text)
            first.text->replace(u'|', payloadSeparator);
        fx.scripts->answer("id \"DNtp\"", first)
            .answer("id \"com.devontechnologies.think\"", second.replace(u'|', payloadSeparator));
        DEVONthinkActiveContextProvider provider(fx.workspace, fx.scripts);
        EXPECT_EQ(outcome(provider, LogCapture(QStringLiteral("morvane.DEVONthinkContext"))), expected);
    }
}

TEST(ObsidianProvider, TheRulesThatFindTheActiveNote)
{
    const std::pair<QByteArray, QString> cases[] = {
        // The active leaf, whatever it shows.
        {"{\"main\": " + leaf("markdown", "\"A.md\"") + ", \"left\": [" +
             leaf("pdf", "\"Docs/Paper.pdf\"", "p") + "], \"active\": \"p\"}",
         "Paper | Docs/Paper.pdf"},
        // An active leaf without a file gives way to the main area's first Markdown leaf.
        {"{\"main\": [" + leaf("graph", "\"B.md\"") + ", " + leaf("markdown", "\"A.md\"") +
             "], \"right\": [" + leaf("markdown", "3", "z") + ", " + leaf("markdown", "\"B.md\"") +
             "], \"active\": \"z\"}",
         "A | A.md"},
        // The file most side panes follow.
        {"{\"right\": [" + leaf("outline", "\"B.md\"") + ", " + leaf("backlink", "\"A.md\"") + ", " +
             leaf("outgoing-link", "\"A.md\"") + ", " + leaf("backlink", "7") + "]}",
         "A | A.md"},
        {R"({"lastOpenFiles": ["Docs/Paper.pdf", "gone.md", 5, "B.md"]})", "B | B.md"},
        {"{\"main\": {}, \"left\": {\"tabs\": [" + leaf("markdown", "\"B.md\"") + "]}}", "B | B.md"},
        {"{\"main\": {}}", ""},
        {"[]", ""},
    };
    for (const auto& [workspace, expected] : cases) {
        const QString path = vault("Notes", workspace, {"A.md", "B.md", "Docs/Paper.pdf"});
        writeRegistry(ObsidianFiles::registryLocations()[0], {{path, true}});
        const QString prefix = "obsidian://open?path=" + path + u'/';
        EXPECT_EQ(obsidianCapture(), QString(expected).replace(" | ", " | " + prefix))
            << workspace.constData();
    }
}

TEST(ObsidianProvider, OpenVaultsInOrderEncodedLocatorsAndTheThreeRegistryPlaces)
{
    const QString note = "R&D notes/Plan+Ideas é.md";
    const QByteArray planActive = "{\"main\": " + leaf("markdown", "\"R&D notes/Plan+Ideas é.md\"") + "}";
    const QString closed = vault("Closed", planActive, {note});
    const QString deleted = vault("Deleted", planActive);
    const QString mine = vault("My Vault", planActive, {note});
    const QStringList places = ObsidianFiles::registryLocations();
    EXPECT_EQ(places,
              (QStringList{testHome() + "/.config/obsidian/obsidian.json",
                           testHome() + "/.var/app/md.obsidian.Obsidian/config/obsidian/obsidian.json",
                           testHome() + "/snap/obsidian/current/.config/obsidian/obsidian.json"}));
    for (qsizetype i = places.size() - 1; i >= 0; --i) {
        writeRegistry(places[i], {{closed, false}, {deleted, true}, {mine, true}});
        EXPECT_EQ(obsidianCapture(), "Plan+Ideas é | obsidian://open?path=" + testHome() +
                                         "/My%20Vault/R%26D%20notes/Plan%2BIdeas%20%C3%A9.md");
    }
    // The first place that exists is the registry, even one that lists no open vault.
    writeRegistry(places[0], {{closed, false}});
    EXPECT_EQ(obsidianCapture(), "");
}

TEST(ObsidianProvider, DeeplyNestedFilesAreRefusedWithOneLogLine)
{
    const QString path = vault("Deep", QByteArray(10000, '[') + QByteArray(10000, ']'), {"A.md"});
    writeRegistry(ObsidianFiles::registryLocations()[0], {{path, true}});
    EXPECT_EQ(obsidianCapture(), "Ignored Obsidian file that is too large or too deeply nested: <private>");
    // 512 levels are still read: the workspace, 508 lists, the leaf and its two states.
    vault("Deep",
          "{\"main\": " + QByteArray(508, '[') + leaf("markdown", "\"A.md\"") + QByteArray(508, ']') + "}");
    EXPECT_TRUE(obsidianCapture().startsWith("A | "));
}
