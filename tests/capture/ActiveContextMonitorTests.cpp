#include "CaptureTestSupport.h"

#include "../files/FilesTestSupport.h"
#include "ManualClock.h"
#include "capture/ActiveContextMonitor.h"
#include "capture/ActiveContextService.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "store/ContextLookups.h"
#include "store/LinkStoreDetail.h"

#include <QSemaphore>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

// Answers the page of the application in front from its table, and counts the captures.
class PageProvider final : public ActiveContextProvider {
public:
    explicit PageProvider(std::shared_ptr<FakeWorkspace> workspace)
        : m_workspace(std::move(workspace))
    {
    }
    QString providerName() const override { return QStringLiteral("Browser"); }
    std::optional<CapturedContext> captureContext() override
    {
        ++captures;
        const QString page = pages.value(m_workspace->frontmostIdentifier().value_or(QString()));
        if (page.isEmpty())
            return std::nullopt;
        return CapturedContext{QStringLiteral("Page"), page, LinkType::web, QStringLiteral("Browser"), {}};
    }

    QHash<QString, QString> pages;
    int captures = 0;

private:
    std::shared_ptr<FakeWorkspace> m_workspace;
};

// A library with two saved pages, and one browser per page in front: Chrome and Brave show the saved
// ones, Edge and Safari unsaved ones.
struct MonitorFixture : ProviderFixture {
    std::shared_ptr<PageProvider> pages = std::make_shared<PageProvider>(workspace);
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    LinkStore store{LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")), identity};
    std::shared_ptr<StubProvider> messages = std::make_shared<StubProvider>("Calendar"); // before the browser
    std::shared_ptr<ActiveContextService> service = std::make_shared<ActiveContextService>(
        QList<std::shared_ptr<ActiveContextProvider>>{messages, pages});
    // Each report as the application's handler receives it, with the number of captures by then.
    QStringList reports;
    ActiveContextMonitor monitor{
        store, service, clock, [this](bool hasLinks, const std::optional<CapturedContext>& context) {
            reports.append(QStringLiteral("%1 %2 after %3")
                               .arg(hasLinks ? "saved" : "unsaved", context ? context->locator : "-")
                               .arg(pages->captures));
        }};

    MonitorFixture()
    {
        store.addLink({}, QStringLiteral("https://saved.example/a"), {}, {}).waitForFinished();
        store.addLink({}, QStringLiteral("https://saved.example/b"), {}, {}).waitForFinished();
        pages->pages = {
            {QStringLiteral("com.google.Chrome"), QStringLiteral("https://saved.example/a")},
            {QStringLiteral("com.brave.Browser"), QStringLiteral("https://saved.example/b")},
            {QStringLiteral("com.microsoft.edgemac"), QStringLiteral("https://unsaved.example/c")},
            {QStringLiteral("com.apple.Safari"), QStringLiteral("https://unsaved.example/d")}};
    }

    void pollWith(const char* browser)
    {
        workspace->activate(QString::fromLatin1(browser));
        QCoro::waitFor(monitor.checkActiveContext());
    }
};

} // namespace

TEST(ActiveContextMonitor, ReportsOnlyWhenWhetherTheItemInFrontIsSavedChanges)
{
    MonitorFixture fx;
    fx.workspace->activate(QStringLiteral("com.google.Chrome"));
    fx.monitor.start();
    // "Nothing saved" before the first poll, then the saved page in front.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fx.reports.size() == 2; }, 5000));
    EXPECT_EQ(fx.reports, (QStringList{"unsaved - after 0", "saved https://saved.example/a after 1"}));

    fx.pollWith("com.google.Chrome");
    fx.pollWith("com.google.Chrome");
    fx.pollWith("com.brave.Browser");     // another saved page
    fx.pollWith("com.microsoft.edgemac"); // an unsaved one
    fx.pollWith("com.apple.Safari");      // another unsaved one: nothing to say
    fx.pollWith("com.google.Chrome");
    fx.messages->answer.message = QStringLiteral("Select an event"); // a message: nothing saved in view
    QCoro::waitFor(fx.monitor.checkActiveContext());
    EXPECT_EQ(fx.reports.mid(2), (QStringList{"saved https://saved.example/b after 4",
                                              "unsaved https://unsaved.example/c after 5",
                                              "saved https://saved.example/a after 7", "unsaved - after 7"}));
}

TEST(ActiveContextMonitor, PollsEveryThreeSecondsUntilStoppedAndThenReportsNothingMore)
{
    MonitorFixture fx;
    fx.workspace->activate(QStringLiteral("com.google.Chrome"));
    // The store is kept busy, so every lookup is still under way when the monitor stops.
    QSemaphore busy;
    const QFuture<int> held = LinkStoreDatabase(fx.store).run([&](SQLiteStore&) {
        busy.acquire();
        return 0;
    });
    fx.monitor.start();
    fx.monitor.start(); // still one timer
    EXPECT_EQ(fx.pages->captures, 2);
    fx.clock->advance(2999ms);
    EXPECT_EQ(fx.pages->captures, 2);
    fx.clock->advance(1ms);
    EXPECT_EQ(fx.pages->captures, 3);
    fx.clock->advance(6000ms);
    EXPECT_EQ(fx.pages->captures, 5);

    fx.workspace->activate(QStringLiteral("com.brave.Browser"));
    QCoro::Task<> poll = fx.monitor.checkActiveContext();
    fx.monitor.stop();
    busy.release();
    QCoro::waitFor(std::move(poll)); // the lookups finish in order: this one last
    fx.clock->advance(9000ms);
    EXPECT_FALSE(fx.monitor.isRunning());
    EXPECT_EQ(fx.pages->captures, 6);
    EXPECT_EQ(fx.reports, (QStringList{"unsaved - after 0", "unsaved - after 1", "unsaved - after 6"}));
}

TEST(ActiveContextMonitor, OneNoteUnderEveryFormOfItsLocatorAndReportedSavedWithObsidianInFront)
{
    MonitorFixture fx;
    const QString vault = testHome() + "/Notes é";
    writeFile(vault + "/Sub/C.md", "");
    writeFile(vault + "/.obsidian/workspace.json",
              R"({"main": {"id": "m", "type": "split", "children": [{"id": "l1", "type": "leaf",
                  "state": {"type": "markdown", "state": {"file": "Sub/C.md"}}}]}, "active": "l1"})");
    writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + "/obsidian/obsidian.json",
              QString(R"({"vaults": {"v": {"path": "%1", "open": true}}})").arg(vault).toUtf8());
    const QString encoded = QString(QUrl::toPercentEncoding(vault)); // "/" as %2F, as backups may have it
    const std::pair<QString, QString> stored[] = {
        {"A", "obsidian://open?path=" + vault + "/A.md"},
        {"B", "obsidian://open?path=" + encoded + "%2FB.md"},
        {"C", "obsidian://open?vault=Notes%20%C3%A9&file=Sub%2FC"},
        {"D", "obsidian://open?vault=Other&file=D"}, // a vault the registry does not list
    };
    for (const auto& [title, locator] : stored)
        fx.store.addLink(title, locator, {}, {}).waitForFinished();
    for (const char* note : {"A.md", "B.md", "Sub/C.md", "D.md"}) {
        const CapturedContext captured{"N",
                                       "obsidian://open?path=" +
                                           QString(QUrl::toPercentEncoding(vault + "/" + note, "/")),
                                       LinkType::obsidian,
                                       "Obsidian",
                                       {}};
        const std::optional<LinkItem> found = ContextLookups(fx.store).findLink(captured).result();
        EXPECT_EQ(found ? found->title : "none",
                  note == QString("D.md") ? "none" : QString(note).section('/', -1).chopped(3))
            << note;
    }

    auto service = std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{
        std::make_shared<ObsidianActiveContextProvider>(fx.workspace)});
    QStringList reports;
    ActiveContextMonitor monitor(fx.store, service, fx.clock, [&](bool hasLinks, const auto& context) {
        reports.append(QString(hasLinks ? "saved " : "unsaved ") + (context ? context->title : "-"));
    });
    fx.workspace->activate(QStringLiteral("md.obsidian"));
    monitor.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() == 2; }, 5000))
        << reports.join(", ").toStdString();
    EXPECT_EQ(reports, (QStringList{"unsaved -", "saved C"}));
}
