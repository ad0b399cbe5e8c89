#pragma once

#include "foundation/StoreExecutor.h"
#include "model/DeletedRecord.h"
#include "model/LibraryReset.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "sync/CloudKitSyncService.h"
#include "sync/RecordStore.h"
#include "sync/SyncStatus.h"

#include <QCoroTask>
#include <QList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// The requests a sync pass and the remote erase make of the record store, each one awaited before
// the next. The store's own I/O runs on a thread of its own, in request order; the awaiting
// coroutine resumes on its own thread. Errors of the store come through unchanged.
class RemoteRecords {
public:
    explicit RemoteRecords(std::shared_ptr<RecordStore> store);
    // Waits for the request in progress.
    ~RemoteRecords();
    RemoteRecords(const RemoteRecords&) = delete;
    RemoteRecords& operator=(const RemoteRecords&) = delete;

    // ready when the account can be used; notSignedIn or error otherwise.
    QCoro::Task<SyncStatus> accountStatus();

    // Every record of the type, all pages. A first page that finds no such record type counts as
    // none; an error of a later page is thrown.
    QCoro::Task<QList<CloudRecord>> fetchAll(QString recordType);
    // As fetchAll, each record handed to `take` on the I/O thread as its page comes (pages of `perPage`),
    // so that the listing is never held whole; the records of the pages before an error were taken.
    using RecordTaker = std::function<void(const CloudRecord&)>;
    QCoro::Task<void> listAll(QString recordType, int perPage, RecordTaker take);
    // See RecordStore::changesSince; the decoding is left to the caller, and so are the records when a
    // sink is given (it takes them on the I/O thread).
    bool tracksChanges() const { return m_store->tracksChanges(); }
    QCoro::Task<RecordStore::Changes> changesSince(QByteArray since,
                                                   std::shared_ptr<RecordStore::RecordSink> sink = nullptr);
    QCoro::Task<RecordStore::Changes> changesFrom(QByteArray place,
                                                  std::shared_ptr<const RecordVersions> versions);
    // See RecordStore::changeToken.
    QCoro::Task<std::optional<QByteArray>> changeToken();
    // The decoded records of a type; records the readers refuse are left out, and so are deletions of
    // anything but a link or relation record by its own name.
    QCoro::Task<QList<DeletedRecord>> fetchDeletedRecords();
    QCoro::Task<QList<LinkItem>> fetchLinks();
    QCoro::Task<QList<LinkRelation>> fetchRelations();
    // The records under the names, in one request; a name with no record, or one the store cannot use,
    // is left out.
    QCoro::Task<QList<CloudRecord>> readRecords(QStringList names);
    // The reset marker, or none when there is none (or it does not read).
    QCoro::Task<std::optional<LibraryReset>> fetchLibraryReset();

    // What a pass asks first, in one request: the account, then while it can be used the reset marker
    // and what changed since a point (the store's own, or the place and the versions of its records).
    // Each hand-off between threads costs more than a pass that finds nothing changed does otherwise.
    struct ChangesAsked {
        QByteArray since;
        QByteArray place;
        std::shared_ptr<const RecordVersions> versions; // ask changesFrom the place when set
        std::shared_ptr<RecordStore::RecordSink> sink;  // takes the answer's records when set
    };
    struct Opening {
        SyncStatus account = SyncStatus::error;
        std::optional<LibraryReset> reset;
        RecordStore::Changes changes;
    };
    QCoro::Task<Opening> openPass(ChangesAsked asked);

    // Each fetches the record by name (making it when there is none), overwrites its fields and saves; a
    // link only over a stored copy it wins against (or one that does not read as a link).
    // Links and relations go a batch per request: one request each spent a pass over a large library
    // handing work between threads.
    QCoro::Task<void> saveLinks(QList<LinkItem> links);
    QCoro::Task<void> saveRelations(QList<LinkRelation> relations);
    static constexpr qsizetype saveBatch = 256;
    QCoro::Task<void> saveDeletedRecord(DeletedRecord deleted);
    QCoro::Task<void> saveLibraryReset(LibraryReset reset);

    // A record that is already gone counts as deleted.
    QCoro::Task<void> deleteRecord(QString recordName);

    // A request about one record that fails with UnusableRecordError (the store cannot use what is
    // under that name, or the record is over its size limit) leaves that record out and goes on: the
    // save, the fetch of the reset marker (which then counts as none) and the delete, and each record of
    // a batch. What was left out since the last call, each as "what: why", oldest first.
    QStringList takeSkipped();

private:
    // Runs fn(RecordStore&) on the I/O thread.
    template <class F> auto request(F fn) -> QFuture<std::invoke_result_t<F, RecordStore&>>
    {
        return m_io.submit([store = m_store, fn = std::move(fn)]() mutable { return fn(*store); });
    }
    QFuture<RecordStore::AccountStatus> account();
    QFuture<QList<CloudRecord>> queryAll(const QString& recordType);
    // Every page of the type to `take`, in the calling job.
    static void listPages(RecordStore& store, const QString& recordType, int perPage,
                          const RecordTaker& take);
    QFuture<void> remove(const QString& recordName);

    QFuture<void> saveLinkBatch(QList<LinkItem> links);
    QFuture<void> saveRelationBatch(QList<LinkRelation> relations);

    // Appended to by the requests on the I/O thread.
    struct Skipped {
        void add(const QString& what, const UnusableRecordError& error);
        std::mutex mutex;
        QStringList list;
    };
    // The marker as the store holds it, on the I/O thread.
    static std::optional<LibraryReset> libraryReset(RecordStore& store, Skipped& skipped);

    std::shared_ptr<RecordStore> m_store;
    std::shared_ptr<Skipped> m_skipped = std::make_shared<Skipped>();
    StoreExecutor m_io{"morvane-records"};
};

} // namespace morvane
