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
