#pragma once

#include "../store/LinkStoreTestSupport.h"
#include "InMemoryRecordStore.h"
#include "TestFiles.h"

#include "foundation/UserDefaults.h"
#include "sync/RecordStoreSyncService.h"

#include <QCoroFuture>
#include <QCoroTask>
#include <QPromise>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>

namespace morvane::test {

// Ends at the next turn of the event loop instead of after the pause.
inline QCoro::Task<void> noPause()
{
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    QTimer::singleShot(0, [done] { done->finish(); });
    co_await done->future();
}

// QCoro::waitFor loses an exception thrown after the task first suspended (and never returns); these
// carry it out instead.
struct Outcome {
    std::exception_ptr failure;
};

template <class T> QCoro::Task<Outcome> runCatching(QCoro::Task<T> task, std::optional<T>* result)
{
    try {
        *result = co_await task;
    } catch (...) {
        co_return Outcome{std::current_exception()};
    }
    co_return Outcome{};
}

inline QCoro::Task<Outcome> runCatching(QCoro::Task<void> task)
{
    try {
        co_await task;
    } catch (...) {
        co_return Outcome{std::current_exception()};
    }
    co_return Outcome{};
}

template <class T> T await(QCoro::Task<T> task)
{
    std::optional<T> result;
    if (const Outcome outcome = QCoro::waitFor(runCatching(std::move(task), &result)); outcome.failure)
        std::rethrow_exception(outcome.failure);
    return std::move(*result);
}

inline void await(QCoro::Task<void> task)
{
    if (const Outcome outcome = QCoro::waitFor(runCatching(std::move(task))); outcome.failure)
        std::rethrow_exception(outcome.failure);
}

inline QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entry itself, not what a link points to; a new inode means a file was replaced, not written over.
inline struct stat entryStat(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

// One computer: its own library, settings and clock, syncing through a record store it may share
// with others. Pauses of the remote erase are counted, not waited for.
struct Machine {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::unique_ptr<LinkStore> store;
    std::shared_ptr<RecordStoreSyncService> service;
    QList<std::chrono::milliseconds> pauses;
    int announcements = 0;

    Machine(const QString& name, std::shared_ptr<RecordStore> records)
        : store(std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + "/" + name + ".sqlite"),
                                            makeIdentityService(), clock))
        , service(std::make_shared<RecordStoreSyncService>(std::move(records), defaults, clock,
                                                           [this](std::chrono::milliseconds pause) {
                                                               pauses.append(pause);
                                                               return noPause();
                                                           }))
    {
        QObject::connect(&store->notifier(), &LinkStoreNotifier::didMutate, [this] { ++announcements; });
    }

    void sync() { await(service->sync(*store)); }
    // The error a pass ends with, as its text; empty when it completed.
    QString failedSync()
    {
        try {
            sync();
        } catch (const Error& error) {
            return error.localizedDescription();
        }
        return {};
    }
    LibraryReset eraseEverywhere()
    {
        const LibraryReset reset = await(service->eraseRemoteData());
        store->eraseAll().waitForFinished();
        LibraryReset::saveAcknowledged(reset, *defaults);
        return reset;
    }

    template <class F> auto on(F fn)
    {
        auto done = LinkStoreDatabase(*store).run(std::move(fn));
        if constexpr (std::is_void_v<decltype(fn(std::declval<SQLiteStore&>()))>)
            done.waitForFinished();
        else
            return done.result();
    }
    LinkItem add(LinkItem link)
    {
        return on([link](SQLiteStore& sqlite) { return addLink(sqlite, link); });
    }
    void relate(const LinkItem& a, const LinkItem& b)
    {
        on([a, b](SQLiteStore& sqlite) { sqlite.writes().addRelation(a.id, b.id); });
    }
    std::optional<LinkItem> link(const QUuid& id)
    {
        return on([id](SQLiteStore& sqlite) { return sqlite.reads().link(id); });
    }
    QStringList titles()
    {
        QStringList result = test::titles(on([](SQLiteStore& sqlite) { return sqlite.reads().allLinks(); }));
        result.sort();
        return result;
    }
    qsizetype relationCount()
    {
        return on([](SQLiteStore& sqlite) { return sqlite.reads().allRelations().size(); });
    }
    // Delivers the announcements the store has posted so far.
    int settledAnnouncements()
    {
        LinkStoreDatabase(*store).run([](SQLiteStore&) { return 0; }).waitForFinished();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return announcements;
    }
};

// The lines of each that the other lacks, for a failure's message.
inline QString differences(const QStringList& got, const QStringList& expected)
{
    QStringList text;
    for (const QString& line : got)
        if (!expected.contains(line))
            text.append("+ " + line);
    for (const QString& line : expected)
        if (!got.contains(line))
            text.append("- " + line);
    return text.join('\n');
}

// Two machines syncing through one in-memory record store.
class SharedCloudTest : public ::testing::Test {
protected:
    using Operation = InMemoryRecordStore::Operation;
    std::shared_ptr<InMemoryRecordStore> cloud = std::make_shared<InMemoryRecordStore>();
    Machine a{"a", cloud};
    Machine b{"b", cloud};
};

} // namespace morvane::test
