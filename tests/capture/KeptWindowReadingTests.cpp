#include "AccessibilityTree.h"
#include "FakeWorkspace.h"

#include "capture/KeptWindowReading.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

const QString contacts = QStringLiteral("org.gnome.Contacts");

// Readings whose completion (the card looked up in the address book) the test ends, in any order.
struct HeldResolves {
    using Answer = QPromise<std::optional<QString>>;
    std::mutex mutex;
    QList<std::pair<std::shared_ptr<Answer>, std::optional<QString>>> held;

    KeptWindowReading<QString>::Resolve resolve()
    {
        return [this](std::optional<QString> shown) {
            auto answer = std::make_shared<Answer>();
            answer->start();
            const std::lock_guard lock(mutex);
            held.append({answer, std::move(shown)});
            return answer->future();
        };
    }
    void end(int index)
    {
        const std::lock_guard lock(mutex);
        auto& [answer, shown] = held[index];
        answer->addResult(shown);
        answer->finish();
    }
};

} // namespace

TEST(KeptWindowReading, AReadingThatEndsLateNeverReplacesOneStartedAfterIt)
{
    auto workspace = std::make_shared<FakeWorkspace>();
    auto bus = std::make_shared<AccessibilityTree>();
    workspace->activate(contacts, 7);
    std::atomic<int> reads = 0;
    HeldResolves resolves;
    KeptWindowReading<QString> kept(
        workspace, bus, contacts,
        [&](const AccessibilityApi&, qint64) {
            return std::optional(QStringLiteral("Card %1").arg(++reads));
        },
        resolves.resolve());
    // A job queued after a reading runs once its read has been handed on to be resolved.
    const auto readingHandedOn = [&] { bus->run([](AccessibilityApi&) { return 0; }).waitForFinished(); };

    QFuture<void> first = kept.refresh();
    readingHandedOn();
    QFuture<void> second = kept.refresh();
    readingHandedOn();
    ASSERT_EQ(resolves.held.size(), 2);

    resolves.end(1);
    second.waitForFinished();
    EXPECT_EQ(kept.reading(), QStringLiteral("Card 2"));
    resolves.end(0);
    first.waitForFinished();
    EXPECT_EQ(kept.reading(), QStringLiteral("Card 2")) << "the older reading ended last";
    EXPECT_FALSE(kept.isReading());

    // In order, each one is kept.
    QFuture<void> third = kept.refresh();
    readingHandedOn();
    resolves.end(2);
    third.waitForFinished();
    EXPECT_EQ(kept.reading(), QStringLiteral("Card 3"));
}
