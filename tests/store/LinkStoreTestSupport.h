#pragma once

#include "../library/StoreTestSupport.h"
#include "TestFiles.h"

#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "model/CapturedContext.h"
#include "platform/Sha256Hasher.h"
#include "store/LinkStoreDetail.h"

#include <QCoreApplication>

#include <memory>
#include <semaphore>

namespace morvane::test {

inline std::shared_ptr<FileIdentityService>
makeIdentityService(std::shared_ptr<const Sha256Hasher> hasher = {})
{
    FileIdentityPlatform platform = FileIdentityPlatform::system();
    if (hasher)
        platform.hasher = std::move(hasher);
    return std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>(), platform);
}

// Hashes through OpenSSL, each file only once the test opens the gate for it; says when a hash has
// begun, so a test can act while one is in progress.
struct GatedHasher : Sha256Hasher {
    std::optional<FileDigest> hashFile(const QString& path) const override
    {
        entered.release();
        open.acquire();
        return OpenSslSha256Hasher().hashFile(path);
    }
    mutable std::counting_semaphore<> entered{0};
    mutable std::counting_semaphore<> open{0};
};

// What the Finder capture makes of the file at path: its identity has no fingerprint.
inline CapturedContext finderContext(const FileIdentityService& identity, const QString& path,
                                     const std::optional<QString>& locator = std::nullopt)
{
    return {lastPathComponentOfPath(path), locator.value_or(LocatorUrl::fileUrlText(path)), LinkType::file,
            "Finder", identity.makeIdentity(LocatorUrl::fileUrlText(path), false)};
}

// The synchronous operations on a library of their own, as the store thread runs them.
struct LibraryFixture {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SQLiteStore sqlite{libraryFile(), clock};
    LinkParser parser;
    std::shared_ptr<FileIdentityService> identity = makeIdentityService();

    qint64 count(const QString& sql) { return scalar(sqlite, sql); }
};

// A store over a library of its own, counting its announcements and sync triggers in order.
struct StoreFixture {
    std::shared_ptr<FileIdentityService> identity;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<LinkStore> store;
    QStringList events; // "trigger" and "notify", as the main thread saw them

    explicit StoreFixture(std::shared_ptr<const Sha256Hasher> hasher = {})
        : identity(makeIdentityService(std::move(hasher)))
        , store(std::make_unique<LinkStore>(LinkStore::libraryAt(libraryFile()), identity, clock))
    {
        QObject::connect(&store->notifier(), &LinkStoreNotifier::didMutate,
                         [this] { events.append("notify"); });
    }

    void installTrigger()
    {
        store->setSyncTrigger([this] { events.append("trigger"); }).waitForFinished();
    }

    std::optional<LinkItem> stored(const QUuid& id)
    {
        return LinkStoreDatabase(*store)
            .run([id](SQLiteStore& sqlite) { return sqlite.reads().link(id); })
            .result();
    }

    // The links' titles in the order their rows were written.
    QStringList titlesInWriteOrder()
    {
        return LinkStoreDatabase(*store)
            .run([](SQLiteStore& sqlite) { return texts(sqlite, "SELECT title FROM links ORDER BY rowid"); })
            .result();
    }

    // Waits for everything queued on the store, then delivers the announcements it posted.
    QStringList settledEvents()
    {
        LinkStoreDatabase(*store).run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return events;
    }
};

} // namespace morvane::test
