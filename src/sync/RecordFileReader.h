#pragma once

#include "sync/CloudKitSyncService.h"
#include "sync/RecordFileCodec.h"
#include "sync/RecordFileStamp.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

struct stat;

namespace morvane {

class RecordFolder;
class RecordNames;

// The records in the folder's files. Only regular files are read, opened relative to the folder without
// following a link and without blocking, and checked again once open; any other entry under a record's
// name, a file that cannot be opened, and a file over the size limit is left unread, and logged once for
// each state of it.
//
// A save reads its record twice (the fetch before it, then the compare of the save), so what was read
// of a file is kept with the stamp the file had: a file whose stamp still matches is not read again, and
// one replaced or rewritten by a peer's file sync is. Only the latest few records are kept: a listing
// of every record would otherwise keep the whole store in memory.
class RecordFileReader {
public:
    // Why the entry under a record's name is left unread.
    struct Unusable {
        CloudKitError::Code code;
        QString reason;
        // Not a file that may hold a record (a link, a FIFO, a socket, a device): a save may replace it.
        bool replaceable = false;
    };
    // What is under a record's name: the record in the file, or none when there is no file or it does not
    // hold that record; or why the entry is left unread.
    struct Found {
        std::optional<CloudRecord> record;
        std::optional<Unusable> unusable;
    };

    // Reads in the folder while it is open.
    explicit RecordFileReader(const RecordFolder& folder);

    Found lookup(const QString& recordName);
    // The record, as lookup finds it; throws UnusableRecordError for an entry left unread.
    std::optional<CloudRecord> read(const QString& recordName);
    // As read, for an entry a listing has just looked up under its file name: not looked up again.
    std::optional<CloudRecord> readListed(const QString& recordName, const QByteArray& fileName,
                                          const struct stat& entry);

    // For a listing that reads every file once and decodes elsewhere: the listed file opened straight
    // away (no look-up before) and stamped as it is open, then read as readListed reads it; its bytes
    // neither decoded nor kept. A file that stayed as it was when last read gives the record kept of it
    // instead. Not `opened` when the name could not be opened: the caller looks it up as before, which
    // tells why.
    struct Listed {
        QByteArray bytes;
        std::optional<CloudRecord> record; // kept from before: no bytes
        RecordFileStamp stamp;
    };
    struct Opened {
        bool opened = false;
        RecordFileStamp stamp;
        std::optional<Listed> listed; // none when there is no record to take (or left unread)
    };
    Opened readListedBytes(const QString& recordName, const QByteArray& fileName);
    // A file readListedBytes gave whose bytes did not hold its record: told and kept as a read tells and
    // keeps it, so that it is not told again while it stays as it is.
    void keepNotARecord(const QString& recordName, const QByteArray& fileName, const RecordFileStamp& stamp);

    // Forgets what was read of the record's file: it is about to change.
    void forget(const QString& recordName);
    // Another folder, or the same one after a while away: nothing read before counts.
    void forgetAll();
    // Forgets the records of files no longer listed; what is known of an entry left unread is kept
    // while its stamp holds, so that it is not logged again at every request.
    void keepListed(const RecordNames& names);

    // The most records kept at once: a save reads its record just before it is saved, so a few do.
    static constexpr qsizetype keptRecords = 32;

private:
    struct CachedFile {
        RecordFileStamp stamp;
        QByteArray fileName;
        std::optional<CloudRecord> record; // none: the file does not hold its record
        std::optional<Unusable> unusable;
    };

    Found readEntry(const QString& recordName, const QByteArray& fileName, const struct stat& entry);
    // The entry's bytes, or none with what was found instead in unread (left unread, or gone).
    std::optional<QByteArray> readBytes(const QString& recordName, CachedFile& file, const struct stat& entry,
                                        Found& unread);
    // The same for a file open as handle, stamped from what fstat gave of it (opened).
    std::optional<QByteArray> readOpen(const QString& recordName, CachedFile& file, int handle,
                                       const struct stat& opened, Found& unread);
    // Keeps the record read from the file, none when it does not hold its record.
    Found keepDecoded(const QString& recordName, CachedFile file, std::optional<CloudRecord> record);
    // Logs why the file is left unread and keeps that while its stamp can be trusted.
    Found leaveUnread(const QString& recordName, CachedFile file, Unusable unusable);
    void keep(const QString& recordName, CachedFile file);

    const RecordFolder& m_folder;
    RecordFileCodec m_codec;
    QHash<QString, CachedFile> m_cache; // by record name
    qsizetype m_keptRecords = 0;        // entries of the cache that hold a record
};

} // namespace morvane
