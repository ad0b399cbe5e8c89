#pragma once

#include "sync/RecordStore.h"

#include <QString>

namespace morvane {

// The record store as a folder of record files, one JSON file per record, named after the record.
// The folder stands for the account: while it is absent nobody is signed in. The user may make it a
// link into a folder that a file-sync service shares between machines; that is what makes the
// records travel.
//
// Every file is replaced atomically (QSaveFile), so a reader on another machine sees the old record
// or the new one, never half of one. Each write gives the record a new change tag; a save whose tag
// is not the stored one is refused, and a save that changes nothing writes nothing (a pass re-saves
// every record and would otherwise rewrite the whole folder, and wake every other machine's file
// sync, each time). A file that does not read as a record, such as a sync service's conflict copy,
// is passed over. Callers make one request at a time (the sync service runs them all on one thread),
// so the compare and the write of a save are not split by another request of this process.
class FolderRecordStore final : public RecordStore {
public:
    explicit FolderRecordStore(QString folderPath = defaultFolderPath());

    // $XDG_DATA_HOME/Morvane/CloudRecords
    static QString defaultFolderPath();
    const QString& folderPath() const { return m_folderPath; }

    AccountStatus accountStatus() override;
    CloudRecord fetch(const QString& recordName) override;
    CloudRecord save(const CloudRecord& record) override;
    void remove(const QString& recordName) override;
    Page query(const QString& recordType, int limit) override;
    Page query(const Cursor& cursor, int limit) override;

private:
    QString filePath(const QString& recordName) const;
    // Throws notAuthenticated while the folder is absent.
    void requireFolder() const;
    // The record in the file, or none when there is no file or it does not hold that record.
    std::optional<CloudRecord> read(const QString& recordName) const;
    void write(const CloudRecord& record) const;
    // Every record name in the folder, sorted.
    QStringList recordNames() const;
    Page listFrom(const QString& recordType, const QString& after, std::shared_ptr<const QStringList> names,
                  int limit) const;

    QString m_folderPath;
};

} // namespace morvane
