#pragma once

#include "ManualClock.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "model/CapturedContext.h"
#include "platform/Sha256Hasher.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <memory>
#include <ostream>
#include <semaphore>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace morvane::test {

inline QString homePath(const QString& relative)
{
    return testHome() + u'/' + relative;
}

inline QString writeFile(const QString& relative, const QByteArray& content)
{
    const QString path = homePath(relative);
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}

inline void renameFile(const QString& from, const QString& to)
{
    QDir().mkpath(to.left(to.lastIndexOf(u'/')));
    if (!QFile::rename(from, to))
        qFatal("cannot rename %s", qPrintable(from));
}

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
            QStringLiteral("Finder"), identity.makeIdentity(LocatorUrl::fileUrlText(path), false)};
}

// The synchronous operations on a library of their own, as the store thread runs them.
struct LibraryFixture {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SQLiteStore sqlite{homePath(QStringLiteral("library.sqlite")), clock};
    LinkParser parser;
    std::shared_ptr<FileIdentityService> identity = makeIdentityService();

    qint64 count(const QString& sql)
    {
        SQLiteStatement statement = sqlite.prepare(sql);
        return statement.step() ? statement.int64(0) : -1;
    }
};

// A store over a library of its own, counting its announcements and sync triggers in order.
struct StoreFixture {
    std::shared_ptr<FileIdentityService> identity;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<LinkStore> store;
    QStringList events; // "trigger" and "notify", as the main thread saw them

    explicit StoreFixture(std::shared_ptr<const Sha256Hasher> hasher = {})
        : identity(makeIdentityService(std::move(hasher)))
        , store(std::make_unique<LinkStore>(LinkStore::libraryAt(homePath(QStringLiteral("library.sqlite"))),
                                            identity, clock))
    {
        QObject::connect(&store->notifier(), &LinkStoreNotifier::didMutate,
                         [this] { events.append("notify"); });
    }

    void installTrigger()
    {
        store->setSyncTrigger([this] { events.append("trigger"); }).waitForFinished();
    }

    // The links' titles in the order their rows were written.
    QStringList titlesInWriteOrder()
    {
        return store
            ->run([](SQLiteStore& sqlite) {
                QStringList titles;
                SQLiteStatement rows =
                    sqlite.prepare(QStringLiteral("SELECT title FROM links ORDER BY rowid"));
                while (rows.step())
                    titles.append(rows.text(0));
                return titles;
            })
            .result();
    }

    // Waits for everything queued on the store, then delivers the announcements it posted.
    QStringList settledEvents()
    {
        store->run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return events;
    }
};

} // namespace morvane::test
