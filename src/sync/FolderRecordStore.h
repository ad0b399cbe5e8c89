#pragma once

#include "sync/RecordFileCodec.h"
#include "sync/RecordFileReader.h"
#include "sync/RecordFileWriter.h"
#include "sync/RecordFolder.h"
#include "sync/RecordFolderChanges.h"
#include "sync/RecordFolderListing.h"
#include "sync/RecordStore.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

// The record store as a folder of record files, one JSON file per record, named after the record.
// The folder stands for the account: while it is absent nobody is signed in. The user may make it a
// link into a folder that a file-sync service shares between machines; that is what makes the
// records travel.
//
// The folder is shared, so anything may appear in it. The folder itself may be a link and is followed;
// nothing found inside it is (RecordFileReader): any other entry than a regular file under a record's
// name, a file that cannot be opened, and a file over maximumRecordBytes is left unread: a listing
// passes over it and logs it, and a request for that record by name fails with UnusableRecordError, for
// that record only.
//
// Every file is replaced atomically (RecordFileWriter). Each write gives the record a new change tag; a
// save whose tag is not the stored one is refused, and a save that changes nothing writes nothing (a
// pass re-saves every record and would otherwise rewrite the whole folder, and wake every other
// machine's file sync, each time). A save whose record would be over maximumRecordBytes writes nothing
// and fails for that record. A file that does not read as a record, such as a sync service's conflict
// copy, is passed over. Callers make one request at a time (the sync service runs them all on one
// thread), so the compare and the write of a save are not split by another request of this process.
class FolderRecordStore final : public RecordStore {
public:
    static constexpr qint64 maximumRecordBytes = RecordFileCodec::maximumBytes;

    explicit FolderRecordStore(QString folderPath = defaultFolderPath());
    ~FolderRecordStore() override;
    FolderRecordStore(const FolderRecordStore&) = delete;
    FolderRecordStore& operator=(const FolderRecordStore&) = delete;

    // $XDG_DATA_HOME/Morvane/CloudRecords
    static QString defaultFolderPath();
    const QString& folderPath() const { return m_folder.path(); }

    AccountStatus accountStatus() override;
    CloudRecord fetch(const QString& recordName) override;
    CloudRecord save(const CloudRecord& record) override;
    void remove(const QString& recordName) override;
    Page query(const QString& recordType, int limit) override;
    Page query(const Cursor& cursor, int limit) override;
    // See RecordFolderChanges.
    std::optional<QByteArray> changeToken() override;
    bool tracksChanges() const override { return true; }
    Changes changesSince(const QByteArray& since) override;
    Changes changesFrom(const QByteArray& place, const RecordVersions& versions) override;
    Changes streamChangesSince(const QByteArray& since, RecordSink& sink) override;
    Changes streamChangesFrom(const QByteArray& place, const RecordVersions& versions,
                              RecordSink& sink) override;

private:
    // Each request opens the folder once, before anything else; throws notAuthenticated while it is
    // absent. What was known of a folder is dropped when the path comes to name another one.
    void openFolder();
    void forgetFolder();
    Page listFrom(const QString& recordType, const QString& after, std::shared_ptr<const RecordNames> names,
                  int limit);

    // In this order: each of the later ones works in the folder, on what the ones before it found.
    RecordFolder m_folder;
    RecordFileReader m_reader{m_folder};
    RecordFileWriter m_writer{m_folder};
    RecordFolderListing m_listing{m_folder, m_reader};
    RecordFolderChanges m_changes{m_folder, m_listing, m_reader};
};

} // namespace morvane
