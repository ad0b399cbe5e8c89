#pragma once

#include "ManualClock.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "library/LinkParser.h"
#include "library/SQLiteStore.h"
#include "model/CapturedContext.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

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
    std::shared_ptr<FileIdentityService> identity = makeIdentityService();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<LinkStore> store = std::make_unique<LinkStore>(
        LinkStore::libraryAt(homePath(QStringLiteral("library.sqlite"))), identity, clock);
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
