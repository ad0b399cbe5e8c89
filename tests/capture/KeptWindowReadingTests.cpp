#include "AccessibilityTree.h"
#include "FakeWorkspace.h"

#include "capture/KeptWindowReading.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

// Each reading's lookup (the card found in the address book) ends when the test says, here the later
// reading's first: the earlier one, ending last, is older news and is not kept.
TEST(KeptWindowReading, AReadingThatEndsLateNeverReplacesOneStartedAfterIt)
{
    auto workspace = std::make_shared<FakeWorkspace>();
    auto bus = std::make_shared<AccessibilityTree>();
    workspace->activate("org.gnome.Contacts", 7);
    std::atomic<int> reads = 0;
    std::mutex mutex;
    QList<std::pair<std::shared_ptr<QPromise<std::optional<QString>>>, std::optional<QString>>> lookups;
    KeptWindowReading<QString> kept(
        workspace, bus, "org.gnome.Contacts",
        [&](const AccessibilityElements&, qint64) {
            return std::optional(QStringLiteral("Card %1").arg(++reads));
        },
        [&](std::optional<QString> shown) {
            auto answer = std::make_shared<QPromise<std::optional<QString>>>();
            answer->start();
            const std::lock_guard lock(mutex);
            lookups.append({answer, std::move(shown)});
            return answer->future();
        });
    const auto endLookup = [&](int index) {
        const std::lock_guard lock(mutex);
        lookups[index].first->addResult(lookups[index].second);
        lookups[index].first->finish();
    };
    // A job queued after a reading runs once that reading has been handed to its lookup.
    const auto lookupStarted = [&] { bus->run([](AccessibilityElements&) { return 0; }).waitForFinished(); };

    QFuture<void> first = kept.refresh();
    lookupStarted();
    QFuture<void> second = kept.refresh();
    lookupStarted();
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(lookups.size(), 2);
    }
    endLookup(1);
    second.waitForFinished();
    EXPECT_EQ(kept.reading(), QStringLiteral("Card 2"));
    endLookup(0);
    first.waitForFinished();
    EXPECT_EQ(kept.reading(), QStringLiteral("Card 2"));
    EXPECT_FALSE(kept.isReading());
}

namespace {

// A window of the application that shows what the test says, read over the tree's thread, and a
// lookup that ends when the test says.
struct KeptCardWindow {
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<AccessibilityTree> bus = std::make_shared<AccessibilityTree>();
    std::mutex mutex;
    QString shows = QStringLiteral("Ann");
    QList<std::pair<std::shared_ptr<QPromise<std::optional<QString>>>, QString>> lookups;
    KeptWindowReading<QString> kept{workspace, bus, "org.gnome.Contacts",
                                    [this](const AccessibilityElements&, qint64) {
                                        const std::lock_guard lock(mutex);
                                        return std::optional(shows);
                                    },
                                    [this](std::optional<QString> shown) {
                                        auto answer = std::make_shared<QPromise<std::optional<QString>>>();
                                        answer->start();
                                        const std::lock_guard lock(mutex);
                                        lookups.append({answer, QStringLiteral("card of ") + *shown});
                                        return answer->future();
                                    }};

    KeptCardWindow() { workspace->activate("org.gnome.Contacts", 7); }
    void show(const QString& text)
    {
        const std::lock_guard lock(mutex);
        shows = text;
    }
    // Ends every lookup started so far, in order.
    void endLookups()
    {
        const std::lock_guard lock(mutex);
        for (auto& [promise, answer] : lookups) {
            if (!promise->future().isFinished()) {
                promise->addResult(answer);
                promise->finish();
            }
        }
    }
    void readingHandedToLookup()
    {
        bus->run([](AccessibilityElements&) { return 0; }).waitForFinished();
    }
};

} // namespace

// The user chose another card just before the panel came up; the reading started then answers late.
// What was kept for the window stands only once a reading since saw the window show it.
TEST(KeptWindowReading, AKeptAnswerStandsOnlyForWhatTheWindowWasLastSeenToShow)
{
    KeptCardWindow window;
    window.kept.refresh();
    window.readingHandedToLookup();
    window.endLookups();
    ASSERT_EQ(window.kept.reading(), QStringLiteral("card of Ann"));

    window.show("Bert");
    window.bus->holdJobs = true;
    window.kept.distrust();
    QFuture<void> atShow = window.kept.refresh();
    // Continued by its caller, as the capture service does: still read until the reading ends.
    QFuture<void> continued = atShow.then(QtFuture::Launch::Sync, [] {});
    EXPECT_EQ(window.kept.reading(), std::nullopt);
    EXPECT_TRUE(window.kept.isReading());
    window.bus->holdJobs = false;
    window.bus->runHeldJobs();
    window.readingHandedToLookup();
    // Seen, not yet looked up: still nothing, rather than Ann's card.
    EXPECT_EQ(window.kept.reading(), std::nullopt);
    EXPECT_TRUE(window.kept.isReading());
    EXPECT_FALSE(atShow.isFinished());
    window.endLookups();
    continued.waitForFinished();
    EXPECT_EQ(window.kept.reading(), QStringLiteral("card of Bert"));
    EXPECT_FALSE(window.kept.isReading());

    // Nothing changed since: the reading at the next show confirms the card before its lookup ends.
    window.kept.distrust();
    QFuture<void> unchanged = window.kept.refresh();
    window.readingHandedToLookup();
    EXPECT_EQ(window.kept.reading(), QStringLiteral("card of Bert"));
    EXPECT_FALSE(window.kept.isReading());
    window.endLookups();
    unchanged.waitForFinished();

    // Without a show (a poll while the application is in front), a reading that sees another card sets
    // the kept one aside until its own lookup ends.
    window.show("Cleo");
    QFuture<void> poll = window.kept.refresh();
    window.readingHandedToLookup();
    EXPECT_EQ(window.kept.reading(), std::nullopt);
    window.endLookups();
    poll.waitForFinished();
    EXPECT_EQ(window.kept.reading(), QStringLiteral("card of Cleo"));
}
