#pragma once

#include "foundation/MappedArray.h"
#include "sync/RecordFileStamp.h"
#include "sync/RecordStore.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QUuid>

#include <memory>
#include <optional>

namespace morvane {

class ListedRecordDecoder;
class RecordFileReader;
class RecordFolder;
class RecordFolderListing;
class RecordNames;
class RecordVersions;

// What changed in the record folder, told by the stamps of the folder and of its files: a change token
// that costs no read, and the records whose files changed since an earlier answer.
class RecordFolderChanges {
public:
    RecordFolderChanges(const RecordFolder& folder, RecordFolderListing& listing, RecordFileReader& reader);

    // The stamps of the folder and of every record file in it, looked at without opening or listing
    // anything while the folder's own stamp stands; none while any of them is too fresh to trust.
    std::optional<QByteArray> changeToken();
    // Compares each file's stamp with the one it had when last answered: only files whose stamp moved,
    // or was too fresh to trust then, are read (or taken from what the reader keeps of them).
    // Given a sink, each record goes to it as its file is read instead of into the answer.
    RecordStore::Changes changesSince(const QByteArray& since, RecordStore::RecordSink* sink = nullptr);
    // As changesSince, from versions an earlier answer gave for this folder; every file is answered for
    // another folder.
    RecordStore::Changes changesFrom(const QByteArray& place, const RecordVersions& versions,
                                     RecordStore::RecordSink* sink = nullptr);
    // Another folder, or the same one after a while away: everything is answered again.
    void forget();

private:
    // The listed file at i of a complete answer, read and handed to the decoder; its stamp's digest is
    // what the answer keeps of it (0 when too fresh to trust).
    void answerListed(qsizetype i, const RecordNames& names, QByteArray& fileName, quint64& stampDigest,
                      ListedRecordDecoder& decoder);

    const RecordFolder& m_folder;
    RecordFolderListing& m_listing;
    RecordFileReader& m_reader;
    // What the last changesSince answered: its listing, and the digest of each file's stamp then (0,
    // the blank stamp's, for one too fresh to trust, so that it is answered again).
    QByteArray m_answered;
    // Answers of another store never pass for this one's.
    QByteArray m_answerPrefix = QUuid::createUuid().toByteArray(QUuid::Id128) + ':';
    quint64 m_answers = 0;
    std::shared_ptr<const RecordNames> m_answeredListing;
    MappedArray<quint64> m_answeredStamps;
};

} // namespace morvane
