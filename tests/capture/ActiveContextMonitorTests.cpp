#include "CaptureTestSupport.h"

#include "ManualClock.h"
#include "capture/ActiveContextMonitor.h"
#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "store/LinkStore.h"

#include <QSemaphore>
#include <QTest>

#include <gtest/gtest.h>

#include <qcoro/qcorotask.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

namespace {

// A library with two saved pages, and one browser per page in front: Chrome and Brave show the saved
// ones, Edge and Safari unsaved ones.
struct MonitorFixture : ProviderFixture {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    LinkStore store{LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")), identity};
    std::shared_ptr<StubProvider> messages = std::make_shared<StubProvider>("Calendar"); // before the browser
    std::shared_ptr<ActiveContextService> service =
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{
            messages, std::make_shared<BrowserActiveContextProvider>(workspace, scripts)});
    // Each report as the application's handler receives it, with the number of scripts run by then.
    QStringList reports;
    ActiveContextMonitor monitor{
        store, service, clock, [this](bool hasLinks, const std::optional<CapturedContext>& context) {
            reports.append(QStringLiteral("%1 %2 after %3")
                               .arg(hasLinks ? "saved" : "unsaved", context ? context->locator : "-")
                               .arg(scripts->scripts.size()));
        }};

    MonitorFixture()
    {
        store.addLink({}, QStringLiteral("https://saved.example/a"), {}, {}).waitForFinished();
        store.addLink({}, QStringLiteral("https://saved.example/b"), {}, {}).waitForFinished();
        scripts->answer(QStringLiteral("com.google.Chrome"), "A\nhttps://saved.example/a")
            .answer(QStringLiteral("com.brave.Browser"), "B\nhttps://saved.example/b")
            .answer(QStringLiteral("com.microsoft.edgemac"), "C\nhttps://unsaved.example/c")
            .answer(QStringLiteral("com.apple.Safari"), "D\nhttps://unsaved.example/d");
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
    const QFuture<int> held = fx.store.run([&](SQLiteStore&) {
        busy.acquire();
        return 0;
    });
    fx.monitor.start();
    fx.monitor.start(); // still one timer
    EXPECT_EQ(fx.scripts->scripts.size(), 2);
    fx.clock->advance(2999ms);
    EXPECT_EQ(fx.scripts->scripts.size(), 2);
    fx.clock->advance(1ms);
    EXPECT_EQ(fx.scripts->scripts.size(), 3);
    fx.clock->advance(6000ms);
    EXPECT_EQ(fx.scripts->scripts.size(), 5);

    fx.workspace->activate(QStringLiteral("com.brave.Browser"));
    QCoro::Task<> poll = fx.monitor.checkActiveContext();
    fx.monitor.stop();
    busy.release();
    QCoro::waitFor(std::move(poll)); // the lookups finish in order: this one last
    fx.clock->advance(9000ms);
    EXPECT_FALSE(fx.monitor.isRunning());
    EXPECT_EQ(fx.scripts->scripts.size(), 6);
    EXPECT_EQ(fx.reports, (QStringList{"unsaved - after 0", "unsaved - after 1", "unsaved - after 6"}));
}
