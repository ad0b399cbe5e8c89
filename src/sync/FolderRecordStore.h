#pragma once

#include "sync/CloudKitSyncService.h"
#include "sync/RecordStore.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

struct stat;

namespace morvane {

// The record store as a folder of record files, one JSON file per record, named after the record.
// The folder stands for the account: while it is absent nobody is signed in. The user may make it a
// link into a folder that a file-sync service shares between machines; that is what makes the
// records travel.
//
// The folder is shared, so anything may appear in it. The folder itself may be a link and is followed;
// nothing found inside it is: only regular files are read, opened relative to the folder without
// following a link and without blocking, and checked again once open. Any other entry under a record's
// name (a link, a FIFO, a socket, a device, a folder), a file that cannot be opened, and a file over
// maximumRecordBytes is left unread: a listing passes over it and logs it, and a request for that record
// by name fails with UnusableRecordError, for that record only.
//
// Every file is replaced atomically: the new content is written to a new temporary file in the
// folder, flushed to disk and renamed over the record's name, so a reader on another machine sees
// the old record or the new one, never half of one, and a link under that name is replaced itself,
// never written through. Each write gives the record a new change tag; a save whose tag is not the
// stored one is refused, and a save that changes nothing writes nothing (a pass re-saves every record
// and would otherwise rewrite the whole folder, and wake every other machine's file sync, each time).
// A save whose record would be over maximumRecordBytes writes nothing and fails for that record. A
// file that does not read as a record, such as a sync service's conflict copy, is passed over. Callers
// make one request at a time (the sync service runs them all on one thread), so the compare and the
// write of a save are not split by another request of this process.
//
// A pass reads every record several times (each listing by type, then a fetch and a save per record),
// so parsed records are kept, each with the stamp of the file it came from: a file whose stamp still
// matches is not read again, and one replaced or rewritten by a peer's file sync is.
class FolderRecordStore final : public RecordStore {
public:
    // The largest record file read or written: above any record the add form makes (its one-line
    // fields hold at most 32,767 characters each), far below what would strain memory.
    static constexpr qint64 maximumRecordBytes = 1 << 20;

    explicit FolderRecordStore(QString folderPath = defaultFolderPath());
    ~FolderRecordStore() override;
    FolderRecordStore(const FolderRecordStore&) = delete;
    FolderRecordStore& operator=(const FolderRecordStore&) = delete;

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
    // Compares each file's stamp with the one it had when last answered: only files whose stamp moved,
    // or was too fresh to trust then, are read (or taken from what is kept of them).
    bool tracksChanges() const override { return true; }
    Changes changesSince(const QByteArray& since) override;

private:
    // What tells one version of an entry from another without reading it. The modification time may
    // be kept as it was by a copying sync tool, so the inode and status-change time come along: a file
    // put in place by a rename is a new inode, and a rewrite in place moves the change time.
    struct FileStamp {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        quint64 inode = 0;
        quint64 mode = 0; // as wide as the others: no padding, so the bytes of a stamp stand for it
        bool operator==(const FileStamp&) const = default;
        // Old enough to stand for what the file holds.
        bool settled() const;
    };
    // Why the entry under a record's name is left unread.
    struct Unusable {
        CloudKitError::Code code;
        QString reason;
        // Not a file that may hold a record (a link, a FIFO, a socket, a device): a save may replace it.
        bool replaceable = false;
    };
    struct CachedFile {
        FileStamp stamp;
        QByteArray fileName;
        std::optional<CloudRecord> record; // none: the file does not hold its record
        std::optional<Unusable> unusable;
    };

    // Throws notAuthenticated while the folder is absent; otherwise the open folder, opened again
    // when the path has come to name another folder.
    int folder();
    void closeFolder();
    // What is under a record's name: the record in the file, or none when there is no file or it does
    // not hold that record; or why the entry is left unread.
    struct Found {
        std::optional<CloudRecord> record;
        std::optional<Unusable> unusable;
    };
    // Each request opens the folder (folder()) once, before any of these.
    Found lookup(const QString& recordName);
    Found readEntry(const QString& recordName, const QByteArray& fileName, const struct stat& entry);
    // The record, as lookup finds it; throws UnusableRecordError for an entry left unread.
    std::optional<CloudRecord> read(const QString& recordName);
    void write(const QString& recordName, const QByteArray& bytes);
    // Every record name with a regular file in the folder, sorted; listed again only when the folder
    // changed.
    std::shared_ptr<const QStringList> listing();
    Page listFrom(const QString& recordType, const QString& after, std::shared_ptr<const QStringList> names,
                  int limit);
    // The file names of the listing, encoded for the file system.
    const QList<QByteArray>& fileNamesOf(const std::shared_ptr<const QStringList>& names);

    QString m_folderPath;
    int m_folder = -1;
    quint64 m_folderDevice = 0;
    quint64 m_folderInode = 0;
    QHash<QString, CachedFile> m_cache; // by record name
    std::shared_ptr<const QStringList> m_listing;
    // The file names of the listing, encoded for the file system, for the change token.
    QList<QByteArray> m_listingFileNames;
    std::shared_ptr<const QStringList> m_listingFileNamesOf;
    std::optional<FileStamp> m_listingStamp;
    // What the last changesSince answered: its listing, and the stamp of each file then (a blank stamp
    // for one too fresh to trust, so that it is answered again).
    QByteArray m_answered;
    // Answers of another store never pass for this one's.
    QByteArray m_answerPrefix = QUuid::createUuid().toByteArray(QUuid::Id128) + ':';
    quint64 m_answers = 0;
    std::shared_ptr<const QStringList> m_answeredListing;
    QList<FileStamp> m_answeredStamps;
    // Field names and record types repeat in every record: the cached records share one copy of each.
    QSet<QString> m_words;
};

} // namespace morvane
