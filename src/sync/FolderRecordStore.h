#pragma once

#include "sync/RecordStore.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

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
//
// A pass reads every record several times (each listing by type, then a fetch and a save per record),
// so parsed records are kept, each with the stamp of the file it came from: a file whose stamp still
// matches is not read again, and one replaced or rewritten by a peer's file sync is.
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
    // The stamps of the folder and of every record file in it, looked at without opening or listing
    // anything while the folder's own stamp stands; none while any of them is too fresh to trust.
    std::optional<QByteArray> changeToken() override;

private:
    // What tells one version of a file from another without reading it. The modification time may be
    // kept as it was by a copying sync tool, so the inode and status-change time come along: a file
    // put in place by a rename is a new inode, and a rewrite in place moves the change time.
    struct FileStamp {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        quint64 inode = 0;
        bool operator==(const FileStamp&) const = default;
        // Old enough to stand for what the file holds.
        bool settled() const;
    };
    struct CachedFile {
        FileStamp stamp;
        QByteArray path;
        std::optional<CloudRecord> record; // none: the file does not hold its record
    };

    static std::optional<FileStamp> stampOfPath(const QByteArray& path);
    static std::optional<FileStamp> stampOfHandle(int handle);
    QString filePath(const QString& recordName) const;
    // Throws notAuthenticated while the folder is absent.
    void requireFolder() const;
    // The record in the file, or none when there is no file or it does not hold that record.
    std::optional<CloudRecord> read(const QString& recordName);
    std::optional<CloudRecord> readFile(const QString& recordName);
    void write(const CloudRecord& record);
    // Every record name in the folder, sorted; listed again only when the folder changed.
    std::shared_ptr<const QStringList> listing();
    Page listFrom(const QString& recordType, const QString& after, std::shared_ptr<const QStringList> names,
                  int limit);

    QString m_folderPath;
    QHash<QString, CachedFile> m_cache; // by record name
    std::shared_ptr<const QStringList> m_listing;
    // The file names of the listing, encoded for the file system, for the change token.
    QList<QByteArray> m_listingFileNames;
    std::shared_ptr<const QStringList> m_listingFileNamesOf;
    std::optional<FileStamp> m_listingStamp;
    // Field names and record types repeat in every record: the cached records share one copy of each.
    QSet<QString> m_words;
};

} // namespace morvane
