#pragma once

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
#include <QStringList>

#include <atomic>
#include <memory>
#include <ostream>

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

inline std::shared_ptr<FileIdentityService> makeIdentityService()
{
    return std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
}

// What the Finder capture makes of the file at path: its name, its URL and its identity without a
// fingerprint.
inline CapturedContext finderContext(const FileIdentityService& identity, const QString& path,
                                     const std::optional<QString>& locator = std::nullopt)
{
    CapturedContext context;
    context.title = lastPathComponentOfPath(path);
    context.locator = locator.value_or(LocatorUrl::fileUrlText(path));
    context.type = LinkType::file;
    context.sourceApp = QStringLiteral("Finder");
    context.fileIdentity = identity.makeIdentity(LocatorUrl::fileUrlText(path), false);
    return context;
}

inline CapturedContext webContext(const QString& title, const QString& locator)
{
    CapturedContext context;
    context.title = title;
    context.locator = locator;
    context.type = LinkType::web;
    context.sourceApp = QStringLiteral("Safari");
    return context;
}

// The synchronous operations on a library of their own, as the store thread runs them.
struct LibraryFixture {
    SQLiteStore sqlite{testHome() + QStringLiteral("/library.sqlite")};
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
    std::shared_ptr<FileIdentityService> identity = makeIdentityService();
    std::unique_ptr<LinkStore> store = std::make_unique<LinkStore>(
        LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")), identity);
    QStringList events; // "trigger" and "notify", as the main thread saw them

    StoreFixture()
    {
        QObject::connect(&store->notifier(), &LinkStoreNotifier::didMutate,
                         [this] { events.append("notify"); });
    }

    void installTrigger()
    {
        store->setSyncTrigger([this] { events.append("trigger"); }).waitForFinished();
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

namespace morvane::test {

// Hashes through OpenSSL unless told to fail (CI runs as root, so permissions cannot make a file
// unreadable).
class SwitchableHasher : public Sha256Hasher {
public:
    std::optional<FileDigest> hashFile(const QString& path) const override
    {
        if (failing)
            return std::nullopt;
        return OpenSslSha256Hasher().hashFile(path);
    }
    std::atomic<bool> failing = false;
};

inline std::shared_ptr<FileIdentityService> identityServiceWith(std::shared_ptr<Sha256Hasher> hasher)
{
    FileIdentityPlatform platform = FileIdentityPlatform::system();
    platform.hasher = std::move(hasher);
    // No cache: a test that switches the hasher must see every read.
    return std::make_shared<FileIdentityService>(nullptr, platform);
}

} // namespace morvane::test
