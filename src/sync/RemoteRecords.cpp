#include "sync/RemoteRecords.h"

#include "sync/CloudKitSyncService.h"
#include "sync/RecordFormats.h"

#include <QCoroFuture>

namespace morvane {

namespace {

bool isUnknownItem(const CloudKitError& error)
{
    return error.code() == CloudKitError::unknownItem;
}

template <class T, class Reader> QList<T> decodeAll(const QList<CloudRecord>& records, Reader reader)
{
    QList<T> values;
    for (const CloudRecord& record : records) {
        if (std::optional<T> value = reader(record))
            values.append(std::move(*value));
    }
    return values;
}

// The record to change and save: the stored one, or a new one when the store has none.
CloudRecord fetchOrCreate(RecordStore& store, const QString& recordType, const QString& recordName)
{
    try {
        return store.fetch(recordName);
    } catch (const CloudKitError& error) {
        if (!isUnknownItem(error))
            throw;
    }
    return CloudRecord(recordType, recordName);
}

SyncStatus statusOf(RecordStore::AccountStatus status)
{
    using Account = RecordStore::AccountStatus;
    switch (status) {
    case Account::available:
        return SyncStatus::ready;
    case Account::couldNotDetermine:
    case Account::noAccount:
        return SyncStatus::notSignedIn;
    case Account::restricted:
    case Account::temporarilyUnavailable:
        break;
    }
    return SyncStatus::error;
}

RecordStore::Changes changesAsked(RecordStore& store, const RemoteRecords::ChangesAsked& asked)
{
    if (asked.sink && asked.versions)
        return store.streamChangesFrom(asked.place, *asked.versions, *asked.sink);
    if (asked.sink)
        return store.streamChangesSince(asked.since, *asked.sink);
    if (asked.versions)
        return store.changesFrom(asked.place, *asked.versions);
    return store.changesSince(asked.since);
}

QString linkText(const LinkItem& link)
{
    return QStringLiteral("link \u201c%1\u201d (%2)").arg(link.title, RecordFormats::linkRecordName(link));
}

QString relationText(const LinkRelation& relation)
{
    return QStringLiteral("relation %1").arg(RecordFormats::relationRecordName(relation));
}

} // namespace

void RemoteRecords::Skipped::add(const QString& what, const UnusableRecordError& error)
{
    // Once each, though a pass may ask for one record twice (the reset marker).
    std::lock_guard lock(mutex);
    if (const QString text = QStringLiteral("%1: %2").arg(what, error.reason()); !list.contains(text))
        list.append(text);
}

QStringList RemoteRecords::takeSkipped()
{
    std::lock_guard lock(m_skipped->mutex);
    return std::exchange(m_skipped->list, {});
}

RemoteRecords::RemoteRecords(std::shared_ptr<RecordStore> store)
    : m_store(std::move(store))
{
}

RemoteRecords::~RemoteRecords() = default;

// The requests as jobs for the I/O thread, made outside the coroutines that await them so that what
// a job captures is plainly a copy.
QFuture<RecordStore::AccountStatus> RemoteRecords::account()
{
    return request([](RecordStore& store) { return store.accountStatus(); });
}

// The pages of a listing follow each other in one job: a job per page spent most of a pass over a
// large library handing work between threads.
QFuture<QList<CloudRecord>> RemoteRecords::queryAll(const QString& recordType)
{
    return request([recordType](RecordStore& store) {
        QList<CloudRecord> records;
        listPages(store, recordType, RecordStore::maximumResults,
                  [&records](const CloudRecord& record) { records.append(record); });
        return records;
    });
}

void RemoteRecords::listPages(RecordStore& store, const QString& recordType, int perPage,
                              const RecordTaker& take)
{
    RecordStore::Page page;
    try {
        page = store.query(recordType, perPage);
    } catch (const CloudKitError& error) {
        // A store that has never seen the type answers so; for a pass it simply has none yet.
        if (!isUnknownItem(error) &&
            !error.localizedDescription().contains(QLatin1String("record type"), Qt::CaseInsensitive))
            throw;
        return;
    }
    for (;;) {
        for (CloudRecord& record : page.records)
            take(std::exchange(record, CloudRecord()));
        if (!page.cursor)
            break;
        const RecordStore::Cursor cursor = std::move(*page.cursor);
        page = {};
        page = store.query(cursor, perPage);
    }
}

QCoro::Task<void> RemoteRecords::listAll(QString recordType, int perPage, RecordTaker take)
{
    QFuture<void> listed = request([recordType = std::move(recordType), perPage, take = std::move(take)](
                                       RecordStore& store) { listPages(store, recordType, perPage, take); });
    co_await listed;
}

QFuture<void> RemoteRecords::remove(const QString& recordName)
{
    return request([recordName](RecordStore& store) { store.remove(recordName); });
}

QCoro::Task<SyncStatus> RemoteRecords::accountStatus()
{
    const RecordStore::AccountStatus status = co_await account();
    co_return statusOf(status);
}

std::optional<LibraryReset> RemoteRecords::libraryReset(RecordStore& store, Skipped& skipped)
{
    try {
        return RecordFormats::libraryReset(store.fetch(RecordFormats::libraryResetName));
    } catch (const UnusableRecordError& error) {
        skipped.add(QStringLiteral("the library-reset marker"), error);
    } catch (const CloudKitError& error) {
        if (!isUnknownItem(error))
            throw;
    }
    return std::nullopt;
}

QCoro::Task<RemoteRecords::Opening> RemoteRecords::openPass(ChangesAsked asked)
{
    QFuture<Opening> opening = request([asked = std::move(asked), skipped = m_skipped](RecordStore& store) {
        Opening opened;
        opened.account = statusOf(store.accountStatus());
        if (opened.account != SyncStatus::ready)
            return opened;
        opened.reset = libraryReset(store, *skipped);
        opened.changes = changesAsked(store, asked);
        return opened;
    });
    Opening result = co_await opening;
    co_return result;
}

QCoro::Task<std::optional<QByteArray>> RemoteRecords::changeToken()
{
    QFuture<std::optional<QByteArray>> token =
        request([](RecordStore& store) { return store.changeToken(); });
    std::optional<QByteArray> result = co_await token;
    co_return result;
}

QCoro::Task<RecordStore::Changes> RemoteRecords::changesSince(QByteArray since,
                                                              std::shared_ptr<RecordStore::RecordSink> sink)
{
    QFuture<RecordStore::Changes> changes = request([since, sink = std::move(sink)](RecordStore& store) {
        return sink ? store.streamChangesSince(since, *sink) : store.changesSince(since);
    });
    RecordStore::Changes result = co_await changes;
    co_return result;
}

QCoro::Task<RecordStore::Changes> RemoteRecords::changesFrom(QByteArray place,
                                                             std::shared_ptr<const RecordVersions> versions)
{
    QFuture<RecordStore::Changes> changes =
        request([place = std::move(place), versions = std::move(versions)](RecordStore& store) {
            return store.changesFrom(place, *versions);
        });
    RecordStore::Changes result = co_await changes;
    co_return result;
}

QCoro::Task<QList<CloudRecord>> RemoteRecords::fetchAll(QString recordType)
{
    QList<CloudRecord> records = co_await queryAll(recordType);
    co_return records;
}

QCoro::Task<QList<DeletedRecord>> RemoteRecords::fetchDeletedRecords()
{
    const QList<CloudRecord> records = co_await fetchAll(RecordFormats::deletedRecordType);
    QList<DeletedRecord> deletions = decodeAll<DeletedRecord>(records, RecordFormats::deletedRecord);
    deletions.removeIf(
        [](const DeletedRecord& deleted) { return !RecordFormats::isSyncedDeletion(deleted); });
    co_return deletions;
}

QCoro::Task<QList<LinkItem>> RemoteRecords::fetchLinks()
{
    const QList<CloudRecord> records = co_await fetchAll(RecordFormats::linkType);
    co_return decodeAll<LinkItem>(records, RecordFormats::linkItem);
}

QCoro::Task<QList<LinkRelation>> RemoteRecords::fetchRelations()
{
    const QList<CloudRecord> records = co_await fetchAll(RecordFormats::relationType);
    co_return decodeAll<LinkRelation>(records, RecordFormats::linkRelation);
}

QCoro::Task<QList<CloudRecord>> RemoteRecords::readRecords(QStringList names)
{
    QFuture<QList<CloudRecord>> read = request([names = std::move(names)](RecordStore& store) {
        QList<CloudRecord> records;
        for (const QString& name : names) {
            try {
                records.append(store.fetch(name));
            } catch (const UnusableRecordError&) {
            } catch (const CloudKitError& error) {
                if (!isUnknownItem(error))
                    throw;
            }
        }
        return records;
    });
    QList<CloudRecord> records = co_await read;
    co_return records;
}

QCoro::Task<std::optional<LibraryReset>> RemoteRecords::fetchLibraryReset()
{
    QFuture<std::optional<LibraryReset>> fetched =
        request([skipped = m_skipped](RecordStore& store) { return libraryReset(store, *skipped); });
    std::optional<LibraryReset> reset = co_await fetched;
    co_return reset;
}

QFuture<void> RemoteRecords::saveLinkBatch(QList<LinkItem> links)
{
    return request([links = std::move(links), skipped = m_skipped](RecordStore& store) {
        for (const LinkItem& link : links) {
            try {
                CloudRecord record =
                    fetchOrCreate(store, RecordFormats::linkType, RecordFormats::linkRecordName(link));
                // Another machine may have saved a winning copy since the pass listed the records.
                if (const std::optional<LinkItem> stored = RecordFormats::linkItem(record);
                    stored && !RecordFormats::linkWins(link, *stored))
                    continue;
                RecordFormats::writeLinkFields(link, record);
                store.save(record);
            } catch (const UnusableRecordError& error) {
                skipped->add(linkText(link), error);
            }
        }
    });
}

QFuture<void> RemoteRecords::saveRelationBatch(QList<LinkRelation> relations)
{
    return request([relations = std::move(relations), skipped = m_skipped](RecordStore& store) {
        for (const LinkRelation& relation : relations) {
            try {
                CloudRecord record = fetchOrCreate(store, RecordFormats::relationType,
                                                   RecordFormats::relationRecordName(relation));
                RecordFormats::writeRelationFields(relation, record);
                store.save(record);
            } catch (const UnusableRecordError& error) {
                skipped->add(relationText(relation), error);
            }
        }
    });
}

QCoro::Task<void> RemoteRecords::saveLinks(QList<LinkItem> links)
{
    for (qsizetype first = 0; first < links.size(); first += saveBatch)
        co_await saveLinkBatch(links.mid(first, saveBatch));
}

QCoro::Task<void> RemoteRecords::saveRelations(QList<LinkRelation> relations)
{
    for (qsizetype first = 0; first < relations.size(); first += saveBatch)
        co_await saveRelationBatch(relations.mid(first, saveBatch));
}

// A record is fetched, changed and saved in one job: one that is not there yet is made there, and no
// answer crosses between the threads but the outcome.
QCoro::Task<void> RemoteRecords::saveDeletedRecord(DeletedRecord deleted)
{
    QFuture<void> saved = request([deleted = std::move(deleted), skipped = m_skipped](RecordStore& store) {
        const QString name = RecordFormats::tombstoneRecordName(deleted);
        try {
            CloudRecord record = fetchOrCreate(store, RecordFormats::deletedRecordType, name);
            RecordFormats::writeDeletedRecordFields(deleted, record);
            store.save(record);
        } catch (const UnusableRecordError& error) {
            skipped->add(QStringLiteral("deleted-record %1").arg(name), error);
        }
    });
    co_await saved;
}

QCoro::Task<void> RemoteRecords::saveLibraryReset(LibraryReset reset)
{
    QFuture<void> saved = request([reset = std::move(reset)](RecordStore& store) {
        CloudRecord record =
            fetchOrCreate(store, RecordFormats::libraryResetType, RecordFormats::libraryResetName);
        RecordFormats::writeLibraryResetFields(reset, record);
        store.save(record);
    });
    co_await saved;
}

QCoro::Task<void> RemoteRecords::deleteRecord(QString recordName)
{
    try {
        co_await remove(recordName);
    } catch (const UnusableRecordError& error) {
        m_skipped->add(QStringLiteral("record %1").arg(recordName), error);
    } catch (const CloudKitError& error) {
        if (!isUnknownItem(error))
            throw;
    }
}

} // namespace morvane
