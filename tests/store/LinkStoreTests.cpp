#include "LinkStoreTestSupport.h"

#include "store/ContextLookups.h"
#include "store/FileRepairError.h"

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <latch>
#include <thread>

using namespace morvane;
using namespace morvane::test;

TEST(LinkStore, SavesEvidenceWithAFileAndAnnouncesEveryOwnedChangeOnceAfterItsTrigger)
{
    StoreFixture fx;
    fx.installTrigger();
    fx.clock->setNow(at("2024-06-01T12:34:56.789Z"));

    const LinkItem web = fx.store->addLink("Example", "https://example.com/a", {}, "one,two").result();
    EXPECT_EQ(web.createdAt, at("2024-06-01T12:34:56.789Z")); // dated by the store's clock
    EXPECT_EQ(web.updatedAt, web.createdAt);
    const QString path = writeFile("docs/report.txt", "report");
    const CapturedContext context = finderContext(*fx.identity, path);
    const LinkItem file = fx.store->addCapturedContext(context, {}, {}).result();
    EXPECT_EQ(fx.settledEvents(), (QStringList{"trigger", "notify", "trigger", "notify"}));
    // A captured file is saved with its own evidence and its fingerprint; a web link has none.
    EXPECT_EQ(file.bookmarkData, context.fileIdentity->bookmarkData);
    EXPECT_EQ(file.contentHash, sha256sumOf(path));
    EXPECT_EQ(fx.stored(file.id), file);
    EXPECT_FALSE(web.bookmarkData || web.lastKnownPath || web.contentHash || web.fileSize);

    // A thin change announced by its caller, with and without sync.
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) { sqlite.writes().addRelation(web.id, file.id); })
        .waitForFinished();
    fx.store->notifyDidMutate(true);
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) { sqlite.writes().deleteLink(web.id); })
        .waitForFinished();
    fx.store->notifyDidMutate(false);
    EXPECT_EQ(fx.settledEvents().mid(4), (QStringList{"trigger", "notify", "notify"}));

    // Recording an open, a lookup that refreshes evidence and refused saves are silent. A refusal keeps
    // its type on the way to the caller, and a save whose tags fail leaves no half-saved link.
    fx.events.clear();
    const auto refused = thrownError<LinkParserError>(
        [&] { fx.store->addLink("Bad", "gopher://example.com", {}, {}).result(); });
    EXPECT_EQ(refused.value_or(LinkParserError::emptyURL()).kind(), LinkParserError::Kind::unsupportedScheme);
    // Thrown on the store thread after the file pool found nothing to relink to.
    FileResolutionCandidate gone;
    gone.url = LocatorUrl::fileUrlText(homePath("gone.txt"));
    EXPECT_THROW(fx.store->repairFileLink(LinkItem(), gone).result(), FileRepairError);
    const QString refuseTags =
        "CREATE TRIGGER no BEFORE INSERT ON link_tags BEGIN SELECT RAISE(ABORT, 'no'); END";
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) { rawLibrary(sqlite).execute(refuseTags); })
        .waitForFinished();
    EXPECT_THROW(fx.store->addLink({}, "https://example.com/b", {}, "tag").result(), StoreError);
    EXPECT_EQ(LinkStoreDatabase(*fx.store)
                  .run([](SQLiteStore& sqlite) { return titles(sqlite.reads().allLinks()); })
                  .result(),
              QStringList{"report.txt"});
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) { sqlite.writes().recordOpen(file.id); })
        .waitForFinished();
    ASSERT_TRUE(ContextLookups(*fx.store).findLink(finderContext(*fx.identity, path)).result());
    const QString renamed = renameFile(path, "docs/renamed.txt");
    ASSERT_TRUE(ContextLookups(*fx.store).findLink(finderContext(*fx.identity, renamed)).result());
    EXPECT_TRUE(fx.settledEvents().isEmpty());
}

TEST(LinkStore, ATriggerInstalledLateDoesNotRunForEarlierChanges)
{
    StoreFixture fx;
    // Hold the store thread so the first save and the installation queue up behind it.
    std::latch release(1);
    auto held = LinkStoreDatabase(*fx.store).run([&](SQLiteStore&) { release.wait(); });
    auto first = fx.store->addLink({}, "https://example.com/1", {}, {});
    auto installed = fx.store->setSyncTrigger([&] { fx.events.append("trigger"); });
    release.count_down();
    first.waitForFinished();
    installed.waitForFinished();
    fx.store->addLink({}, "https://example.com/2", {}, {}).waitForFinished();

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
                        finderContext(*fx.identity, writeFile("files/" + name, name.toUtf8())), {}, {}));
                else
                    futures[caller].append(fx.store->addLink(name, "https://example.com/" + name, {}, "t"));
                LinkStoreDatabase(*fx.store).run(
                    [&completed, caller, i](SQLiteStore&) { completed.emplace_back(caller, i); });
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

// Operations that finish on the store thread or the file pool while their callers, on other threads,
// are still handing them over: each one completes once, with its own answer.
TEST(LinkStore, OperationsFinishingWhileTheyAreHandedOverCompleteOnce)
{
    StoreFixture fx;
    const QString path = writeFile("doc.txt", "hello");
    const CapturedContext file = finderContext(*fx.identity, path);
    const CapturedContext web{"Web", "https://example.com/x", LinkType::web, "Browser", std::nullopt};
    std::atomic<bool> stop = false;
    std::thread lookups([&] {
        for (int i = 0; !stop; ++i)
            EXPECT_NO_THROW(ContextLookups(*fx.store).findLink(i % 2 ? file : web).waitForFinished());
    });
    // Awaited as the application awaits them, from a coroutine on the main thread's event loop.
    long long sum = 0;
    QEventLoop loop;
    const auto awaitEach = [&]() -> QCoro::Task<void> {
        for (int i = 0; i < 20000; ++i) {
            QFuture<int> answer = LinkStoreDatabase(*fx.store).run([i](SQLiteStore&) { return i; });
            sum += co_await answer;
        }
        loop.quit();
    };
    QCoro::Task<void> awaiting = awaitEach();
    loop.exec();
    stop = true;
    lookups.join();
    EXPECT_EQ(sum, 20000LL * 19999 / 2);
}

TEST(LinkStore, AReadIsNotHeldUpByAFileBeingHashedButLaterCallsWaitForIt)
{
    StoreFixture fx(std::make_shared<GatedHasher>());
    const auto& gate = static_cast<const GatedHasher&>(*fx.identity->platform().hasher);
    const QString path = writeFile("docs/large.bin", "large");
    auto capture = fx.store->addCapturedContext(finderContext(*fx.identity, path), {}, {});
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(30))) << "the capture never hashed";

    auto later = fx.store->addLink({}, "https://example.com/later", {}, {});
    auto counted = fx.store->counts();
    auto search = fx.store->searchLinks(QString());
    auto evidence = fx.store->localResolution(QUuid::createUuid()); // what an open reads first
    // The hash cannot finish before the gate opens, so the reads answering now did not wait for it.
    QDeadlineTimer bound(std::chrono::seconds(30));
    while (!(search.isFinished() && evidence.isFinished()) && !bound.hasExpired())
        QThread::msleep(1);
    ASSERT_TRUE(search.isFinished() && evidence.isFinished());
    EXPECT_EQ(search.result().size(), 0);
    EXPECT_FALSE(evidence.result());
    EXPECT_FALSE(capture.isFinished() || later.isFinished() || counted.isFinished());

    gate.open.release();
    EXPECT_EQ(capture.result().lastKnownPath, path);
    later.waitForFinished();
    EXPECT_EQ(counted.result().links, 2); // after the capture and the link asked for before it
    EXPECT_EQ(fx.titlesInWriteOrder(), (QStringList{"large.bin", "example.com"}));
}

TEST(LinkStore, ClosingFinishesQueuedWorkAndRefusesWorkAfterwards)
{
    StoreFixture fx;
    QList<QFuture<LinkItem>> pending;
    for (int i = 0; i < 20; ++i)
        pending.append(fx.store->addLink({}, QStringLiteral("https://example.com/%1").arg(i), {}, {}));
    pending.append(fx.store->addCapturedContext(
        finderContext(*fx.identity, writeFile("docs/last.txt", "last")), {}, {}));
    fx.store.reset();
    for (const auto& future : pending)
        EXPECT_NO_THROW(future.result());

    // The library on disk holds everything that was queued.
    LibraryFixture library;
    EXPECT_EQ(library.sqlite.reads().allLinks().size(), 21);
}

TEST(LinkStore, DroppedFromItsOwnWorkWhileAFileIsHashedItClosesWithoutWaitingForItself)
{
    const auto identity = makeIdentityService(std::make_shared<GatedHasher>());
    const auto& gate = static_cast<const GatedHasher&>(*identity->platform().hasher);
    auto store = std::make_unique<LinkStore>(LinkStore::libraryAt(libraryFile()), identity);
    const QString path = writeFile("docs/large.bin", "large");
    auto capture = store->addCapturedContext(finderContext(*identity, path), {}, {});
    ASSERT_TRUE(gate.entered.try_acquire_for(std::chrono::seconds(30)));

    std::binary_semaphore dropping(0);
    auto dropped = LinkStoreDatabase(*store).read([&](SQLiteStore&) {
        dropping.release();
        store.reset();
        return true;
    });
    ASSERT_TRUE(dropping.try_acquire_for(std::chrono::seconds(30)));
    gate.open.release();
    EXPECT_TRUE(dropped.result());
    EXPECT_THROW(capture.result(), ExecutorClosedError); // its save came after the close
}

TEST(LinkStore, RelinkingAndImportingAreAnnouncedWithSyncButConfirmingAMatchIsNot)
{
    StoreFixture fx;
    fx.installTrigger();
    const QString path = writeFile("docs/a.txt", "a");
    const LinkItem saved = fx.store->addCapturedContext(finderContext(*fx.identity, path), {}, {}).result();
    const QString backup = homePath("backup.json");
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) {
            LibraryImporter(sqlite.reads(), sqlite.merge(), sqlite.transactions())
                .exportLibrary(backup, sqlite.clock().now());
        })
        .waitForFinished();
    fx.settledEvents();
    fx.events.clear();

    FileMatchCandidate match{saved, LocatorUrl::fileUrlText(path),
                             *finderContext(*fx.identity, path).fileIdentity,
                             FileMatchCandidate::Confidence::sameName, true};
    ContextLookups(*fx.store).useFileMatch(match).waitForFinished();
    EXPECT_EQ(fx.store->importPreview(backup).result().linkCount, 1);
    EXPECT_TRUE(fx.settledEvents().isEmpty());

    FileResolutionCandidate candidate;
    candidate.url = LocatorUrl::fileUrlText(path);
    fx.store->repairFileLink(saved, candidate).waitForFinished();
    EXPECT_EQ(fx.store->importLibrary(backup, true).result().linkCount, 1);
    EXPECT_EQ(fx.settledEvents(), (QStringList{"trigger", "notify", "trigger", "notify"}));
}

// A relation removed from the graph is kept on record for sync even when this library no longer has
// it (another machine may); the panel's removal, offered for any two links, leaves no record for a
// pair that was never related.
TEST(LinkStore, OnlyTheCheckedRelationRemovalSkipsAPairThatIsNotRelated)
{
    StoreFixture fx;
    const LinkItem a = fx.store->addLink({}, "https://example.com/a", {}, {}).result();
    const LinkItem b = fx.store->addLink({}, "https://example.com/b", {}, {}).result();
    const LinkItem c = fx.store->addLink({}, "https://example.com/c", {}, {}).result();
    fx.store->addRelation(a.id, b.id).waitForFinished();
    const auto deletions = [&] {
        return LinkStoreDatabase(*fx.store)
            .run([](SQLiteStore& sqlite) { return sqlite.reads().allDeletedRecords().size(); })
            .result();
    };

    EXPECT_FALSE(fx.store->removeRelationIfRelated(a.id, c.id).result());
    EXPECT_EQ(deletions(), 0);
    EXPECT_TRUE(fx.store->removeRelationIfRelated(b.id, a.id).result()); // either way round
    EXPECT_EQ(fx.store->counts().result().relations, 0);
    EXPECT_EQ(deletions(), 1);

    fx.store->removeRelation(a.id, c.id).waitForFinished();
    EXPECT_EQ(deletions(), 2);
}

// Opened in the background, the store lets its caller go on: what was asked of it meanwhile runs once
// the library is open, and a library that cannot open says why each time the opening is waited for,
// and refuses what was asked of it.
TEST(LinkStore, AnOpeningInTheBackgroundRunsWhatWasAskedMeanwhileOrSaysWhyItFailed)
{
    const auto identity = makeIdentityService();
    {
        LinkStore store(LinkStore::libraryAt(libraryFile()), identity, SystemClock::shared(), nullptr,
                        LinkStore::Opening::inBackground);
        QFuture<LinkItem> added = store.addLink({}, QStringLiteral("https://example.com/meanwhile"), {}, {});
        store.waitUntilOpen();
        EXPECT_EQ(added.result().url, "https://example.com/meanwhile");
    }
    LibraryFixture library;
    EXPECT_EQ(library.sqlite.reads().allLinks().size(), 1);

    // A plain file where the library's folder belongs.
    const QString blocked = writeFile("blocked", "not a folder");
    LinkStore refused(LinkStore::libraryAt(blocked + "/Morvane.sqlite"), identity, SystemClock::shared(),
                      nullptr, LinkStore::Opening::inBackground);
    QFuture<LinkItem> refusedLink =
        refused.addLink({}, QStringLiteral("https://example.com/refused"), {}, {});
    EXPECT_THROW(refused.waitUntilOpen(), Error);
    EXPECT_THROW(refused.waitUntilOpen(), Error);
    EXPECT_THROW(refusedLink.result(), ExecutorClosedError);
}

// The lookups that look for a link's own file before taking another file for it take that step on
// the file pool, in order with the rest: a copy beside a saved file is not it, a copy from elsewhere
// is.
TEST(LinkStore, TheContextLookupsTakeTheOwnFileStepsInOrder)
{
    StoreFixture fx;
    const QString original = writeFile("D1/alpha.txt", "alpha");
    const LinkItem saved =
        fx.store->addCapturedContext(finderContext(*fx.identity, original), {}, {}).result();
    LinkItem remote = makeLink("alpha.txt", "file:///elsewhere/alpha.txt");
    remote.type = LinkType::file;
    remote.lastKnownPath = "/elsewhere/alpha.txt";
    remote.fileSize = 5;
    LinkStoreDatabase(*fx.store)
        .run([&](SQLiteStore& sqlite) { sqlite.writes().insertLink(remote); })
        .waitForFinished();

    const CapturedContext copy = finderContext(*fx.identity, writeFile("D2/alpha.txt", "alpha"));
    ContextLookups lookups(*fx.store);
    // Queued together: the later read sees what the lookups wrote, which is nothing.
    QFuture<std::optional<LinkItem>> finding = lookups.findLink(copy);
    QFuture<QList<FileMatchCandidate>> matching = lookups.fileMatchCandidates(copy);
    QFuture<std::optional<QString>> describing = lookups.finderSelectionMatches(copy);
    QFuture<qint64> resolutions = LinkStoreDatabase(*fx.store).run(
        [](SQLiteStore& sqlite) { return scalar(sqlite, "SELECT count(*) FROM link_local_resolutions"); });
    EXPECT_FALSE(finding.result());
    const QList<FileMatchCandidate> candidates = matching.result();
    ASSERT_EQ(candidates.size(), 1);
    EXPECT_EQ(candidates[0].item.id, remote.id);
    EXPECT_EQ(describing.result(), "File fingerprint exists locally but was not selected as a match. hash " +
                                       saved.contentHash->left(12) + ", size 5");
    EXPECT_EQ(resolutions.result(), 0);

    QFile::remove(original);
    const std::optional<LinkItem> found = lookups.findLink(copy).result();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, saved.id);
    EXPECT_EQ(found->lastKnownPath, original);
}
