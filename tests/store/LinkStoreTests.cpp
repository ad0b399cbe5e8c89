#include "LinkStoreTestSupport.h"

#include "TestValues.h"
#include "foundation/Uuid.h"
#include "store/FileRepairError.h"
#include "store/RelationService.h"

#include <QCoroFuture>
#include <QCoroTask>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <latch>
#include <thread>

using namespace morvane;
using namespace morvane::test;

TEST(LinkStore, EveryOwnedChangeIsAnnouncedOnceAfterItsTrigger)
{
    StoreFixture fx;
    fx.installTrigger();

    const LinkItem web = fx.store
                             ->addLink(QStringLiteral("Example"), QStringLiteral("https://example.com/a"), {},
                                       QStringLiteral("one,two"))
                             .result();
    const QString path = writeFile(QStringLiteral("docs/report.txt"), "report");
    const LinkItem file = fx.store->addCapturedContext(finderContext(*fx.identity, path), {}, {}).result();
    EXPECT_EQ(fx.settledEvents(), (QStringList{"trigger", "notify", "trigger", "notify"}));

    // A thin change announced by its caller, with and without sync.
    fx.store->run([&](SQLiteStore& sqlite) { sqlite.addRelation(web.id, file.id); }).waitForFinished();
    fx.store->notifyDidMutate(true);
    fx.store->run([&](SQLiteStore& sqlite) { sqlite.deleteLink(web.id); }).waitForFinished();
    fx.store->notifyDidMutate(false);
    EXPECT_EQ(fx.settledEvents().mid(4), (QStringList{"trigger", "notify", "notify"}));

    // Recording an open, this machine's resolution and a lookup that refreshes evidence are silent.
    fx.events.clear();
    fx.store->run([&](SQLiteStore& sqlite) { sqlite.recordOpen(file.id); }).waitForFinished();
    const auto found = fx.store->findLink(finderContext(*fx.identity, path)).result();
    ASSERT_TRUE(found);
    renameFile(path, homePath(QStringLiteral("docs/renamed.txt")));
    ASSERT_TRUE(fx.store->findLink(finderContext(*fx.identity, homePath(QStringLiteral("docs/renamed.txt"))))
                    .result());
    EXPECT_TRUE(fx.settledEvents().isEmpty());
}

TEST(LinkStore, AFailedChangeIsNotAnnouncedAndAnErrorKeepsItsTypeAcrossTheAwait)
{
    StoreFixture fx;
    fx.installTrigger();
    auto task = [&]() -> QCoro::Task<int> {
        try {
            co_await fx.store->addLink(QStringLiteral("Bad"), QStringLiteral("gopher://example.com"), {}, {});
        } catch (const LinkParserError& error) {
            co_return error.kind() == LinkParserError::Kind::unsupportedScheme ? 1 : 2;
        }
        co_return 0;
    };
    EXPECT_EQ(QCoro::waitFor(task()), 1);
    // Thrown on the store thread after the file pool found nothing to relink to.
    FileResolutionCandidate gone;
    gone.url = LocatorUrl::fileUrlText(homePath(QStringLiteral("gone.txt")));
    EXPECT_THROW(fx.store->repairFileLink(LinkItem(), gone).result(), FileRepairError);
    EXPECT_TRUE(fx.settledEvents().isEmpty());
    EXPECT_EQ(fx.store->run([](SQLiteStore& sqlite) { return sqlite.allLinks().size(); }).result(), 0);
}

TEST(LinkStore, ATriggerInstalledLateDoesNotRunForEarlierChanges)
{
    StoreFixture fx;
    // Hold the store thread so the first save and the installation queue up behind it.
    std::latch release(1);
    auto held = fx.store->run([&](SQLiteStore&) { release.wait(); });
    auto first = fx.store->addLink({}, QStringLiteral("https://example.com/1"), {}, {});
    auto installed = fx.store->setSyncTrigger([&] { fx.events.append("trigger"); });
    release.count_down();
    first.waitForFinished();
    installed.waitForFinished();
    fx.store->addLink({}, QStringLiteral("https://example.com/2"), {}, {}).waitForFinished();

    EXPECT_EQ(fx.settledEvents(), (QStringList{"notify", "trigger", "notify"}));
}

TEST(LinkStore, CallsFromSeveralThreadsCompleteInOrderPerCallerWithoutLocking)
{
    StoreFixture fx;
    constexpr int perCaller = 40;
    std::vector<std::pair<int, int>> completed; // appended on the store thread only
    std::vector<std::thread> callers;
    std::vector<QList<QFuture<LinkItem>>> futures(4);
    for (int caller = 0; caller < 4; ++caller) {
        callers.emplace_back([&, caller] {
            for (int i = 0; i < perCaller; ++i) {
                // Every fourth is a file whose fingerprint is made on the file pool between reading
                // and writing: later calls must still land after it.
                const QString name = QStringLiteral("c%1-%2").arg(caller).arg(i, 2, 10, QChar(u'0'));
                if (i % 4 == 0)
                    futures[caller].append(fx.store->addCapturedContext(
                        finderContext(*fx.identity,
                                      writeFile(QStringLiteral("files/") + name, name.toUtf8())),
                        {}, {}));
                else
                    futures[caller].append(
                        fx.store->addLink(name, QStringLiteral("https://example.com/") + name, {}, "t"));
                fx.store->run([&completed, caller, i](SQLiteStore&) { completed.emplace_back(caller, i); });
            }
        });
    }
    for (auto& caller : callers)
        caller.join();
    for (const auto& list : futures) {
        for (const auto& future : list)
            EXPECT_NO_THROW(future.result()); // "database is locked" would surface here
    }

    EXPECT_EQ(fx.settledEvents().size(), 4 * perCaller);
    ASSERT_EQ(completed.size(), size_t(4 * perCaller));
    std::array<int, 4> next{};
    for (const auto& [caller, i] : completed) {
        EXPECT_EQ(i, next[caller]);
        next[caller] = i + 1;
    }
    // Each caller's links were written in the order it asked for them.
    const QStringList written = fx.titlesInWriteOrder();
    ASSERT_EQ(written.size(), 4 * perCaller);
    for (int caller = 0; caller < 4; ++caller) {
        const QStringList own = written.filter(QStringLiteral("c%1-").arg(caller));
        QStringList sorted = own;
        sorted.sort();
        EXPECT_EQ(own, sorted) << caller;
    }
}

TEST(LinkStore, AReadIsNotHeldUpByAFileBeingHashedButLaterCallsWaitForIt)
{
    StoreFixture fx(std::make_shared<GatedHasher>());
    const auto& gate = static_cast<const GatedHasher&>(*fx.identity->platform().hasher);
    const QString path = writeFile(QStringLiteral("docs/large.bin"), "large");
    auto capture = fx.store->addCapturedContext(finderContext(*fx.identity, path), {}, {});
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(30))) << "the capture never hashed";

    auto later = fx.store->addLink({}, QStringLiteral("https://example.com/later"), {}, {});
    auto counted = fx.store->run([](SQLiteStore& sqlite) { return sqlite.allLinks().size(); });
    auto search = fx.store->read([](SQLiteStore& sqlite) { return sqlite.searchLinks(QString()).size(); });
    // The hash cannot finish before the gate opens, so the read answering now did not wait for it.
    QDeadlineTimer bound(std::chrono::seconds(30));
    while (!search.isFinished() && !bound.hasExpired())
        QThread::msleep(1);
    ASSERT_TRUE(search.isFinished());
    EXPECT_EQ(search.result(), 0);
    EXPECT_FALSE(capture.isFinished() || later.isFinished() || counted.isFinished());

    gate.open.release();
    EXPECT_EQ(capture.result().lastKnownPath, path);
    later.waitForFinished();
    EXPECT_EQ(counted.result(), 2); // after the capture and the link asked for before it
    EXPECT_EQ(fx.titlesInWriteOrder(), (QStringList{"large.bin", "example.com"}));
}

TEST(LinkStore, ClosingFinishesQueuedWorkAndRefusesWorkAfterwards)
{
    StoreFixture fx;
    QList<QFuture<LinkItem>> pending;
    for (int i = 0; i < 20; ++i)
        pending.append(fx.store->addLink({}, QStringLiteral("https://example.com/%1").arg(i), {}, {}));
    pending.append(fx.store->addCapturedContext(
        finderContext(*fx.identity, writeFile(QStringLiteral("docs/last.txt"), "last")), {}, {}));
    fx.store.reset();
    for (const auto& future : pending)
        EXPECT_NO_THROW(future.result());

    // The library on disk holds everything that was queued.
    LibraryFixture library;
    EXPECT_EQ(library.sqlite.allLinks().size(), 21);
}

TEST(LinkStore, DroppedFromItsOwnWorkWhileAFileIsHashedItClosesWithoutWaitingForItself)
{
    const auto identity = makeIdentityService(std::make_shared<GatedHasher>());
    const auto& gate = static_cast<const GatedHasher&>(*identity->platform().hasher);
    auto store = std::make_unique<LinkStore>(LinkStore::libraryAt(homePath(QStringLiteral("library.sqlite"))),
                                             identity);
    const QString path = writeFile(QStringLiteral("docs/large.bin"), "large");
    auto capture = store->addCapturedContext(finderContext(*identity, path), {}, {});
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(30)));

    std::binary_semaphore dropping(0);
    auto dropped = store->read([&](SQLiteStore&) {
        dropping.release();
        store.reset();
        return true;
    });
    ASSERT_TRUE(dropping.try_acquire_for(std::chrono::seconds(30)));
    gate.open.release();
    EXPECT_TRUE(dropped.result());
    EXPECT_THROW(capture.result(), ExecutorClosedError); // its save came after the close
}

TEST(LinkStore, OpeningAnUnusableLibraryThrowsItsError)
{
    writeFile(QStringLiteral("not-a-library.sqlite"), QByteArray(4096, 'x'));
    EXPECT_THROW(LinkStore(LinkStore::libraryAt(homePath(QStringLiteral("not-a-library.sqlite"))),
                           makeIdentityService()),
                 StoreError);
}

TEST(LinkStore, DatesEveryWriteByItsClock)
{
    StoreFixture fx;
    fx.clock->setNow(at("2024-06-01T12:34:56.789Z"));
    const LinkItem item =
        fx.store->addLink(QStringLiteral("Docs"), QStringLiteral("https://example.com/docs"), {}, {})
            .result();
    EXPECT_EQ(item.createdAt, at("2024-06-01T12:34:56.789Z"));
    EXPECT_EQ(item.updatedAt, item.createdAt);

    fx.clock->advance(std::chrono::hours(1));
    const QDateTime deletedAt = fx.store
                                    ->run([&](SQLiteStore& sqlite) {
                                        sqlite.deleteLink(item.id);
                                        return sqlite.allDeletedRecords().value(0).deletedAt;
                                    })
                                    .result();
    EXPECT_EQ(deletedAt, at("2024-06-01T13:34:56.789Z"));
}

TEST(RelationService, ListsRelatedItemsByTitleFromTheStoreThread)
{
    StoreFixture fx;
    QList<QUuid> ids; // hub, beta, Alpha, unrelated
    for (const char* title : {"hub", "beta", "Alpha", "unrelated"})
        ids.append(
            fx.store
                ->addLink(QString::fromLatin1(title), QStringLiteral("https://example.com/") + title, {}, {})
                .result()
                .id);
    fx.store
        ->run([&](SQLiteStore& sqlite) {
            sqlite.addRelation(ids[0], ids[1]);
            sqlite.addRelation(ids[2], ids[0]);
            sqlite.addRelation(ids[2], ids[1]);
        })
        .waitForFinished();
    const QList<LinkItem> linked = RelationService(*fx.store).linkedItems(ids[0]).result();
    ASSERT_EQ(linked.size(), 2);
    EXPECT_EQ(linked[0].title, "Alpha");
    EXPECT_EQ(linked[0].linkedItemCount, 2);
    EXPECT_EQ(linked[1].title, "beta");
}

TEST(LinkStore, RelinkingAndImportingAreAnnouncedWithSyncButConfirmingAMatchIsNot)
{
    StoreFixture fx;
    fx.installTrigger();
    const QString path = writeFile(QStringLiteral("docs/a.txt"), "a");
    const LinkItem saved = fx.store->addCapturedContext(finderContext(*fx.identity, path), {}, {}).result();
    const QString backup = homePath(QStringLiteral("backup.json"));
    fx.store->run([&](SQLiteStore& sqlite) { LibraryImporter(sqlite).exportLibrary(backup, sqlite.now()); })
        .waitForFinished();
    fx.settledEvents();
    fx.events.clear();

    FileMatchCandidate match{saved, LocatorUrl::fileUrlText(path),
                             *finderContext(*fx.identity, path).fileIdentity,
                             FileMatchCandidate::Confidence::sameName, true};
    fx.store->useFileMatch(match).waitForFinished();
    EXPECT_EQ(fx.store->importPreview(backup).result().linkCount, 1);
    EXPECT_TRUE(fx.settledEvents().isEmpty());

    FileResolutionCandidate candidate;
    candidate.url = LocatorUrl::fileUrlText(path);
    fx.store->repairFileLink(saved, candidate).waitForFinished();
    EXPECT_EQ(fx.store->importLibrary(backup, true).result().linkCount, 1);
    EXPECT_EQ(fx.settledEvents(), (QStringList{"trigger", "notify", "trigger", "notify"}));
}
