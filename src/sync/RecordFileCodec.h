#pragma once

#include "sync/CloudRecord.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <optional>
#include <string_view>

namespace morvane {

// One record as a file of the record folder: the file's name, made from the record's name, and the JSON
// document it holds.
class RecordFileCodec {
public:
    // The largest record file read or written: above any record the add form makes (its one-line
    // fields hold at most 32,767 characters each), far below what would strain memory.
    static constexpr qint64 maximumBytes = 1 << 20;
    static constexpr std::string_view fileSuffix = ".record";

    // Record names become file names with every byte outside letters, digits, "-" and "_"
    // percent-encoded, so no name can climb out of the folder, hide itself behind a leading "." or clash
    // with a temporary file of a save.
    // A character a record's file name holds as it is (no encoding).
    static bool isPlainCharacter(QChar c);
    static QString fileNameOf(const QString& recordName);
    // The record name a file name stands for; none for a name that is not the one spelling we write.
    static std::optional<QString> recordNameOf(const QString& fileName);
    // Whether a record under the name may be of the type: a link is named by its UUID, a relation by
    // the two UUIDs of its pair joined by "_" (a relation's reader also takes a record named by a UUID),
    // and a tombstone's name starts with the type of what it buries, so it has neither shape. Any other
    // name may hold any type (a store is open to records it did not write).
    static bool mayHoldType(const QString& recordName, const QString& recordType);
    // "1,048,576 bytes"
    static QString sizeText(qint64 bytes);

    static QByteArray encode(const CloudRecord& record);
    // None when the bytes do not hold a record of the format.
    std::optional<CloudRecord> decode(const QByteArray& bytes);
    // The same through a general JSON reading, which decode leaves a document to when it is not laid out
    // as a record file usually is.
    std::optional<CloudRecord> decodeJson(const QByteArray& bytes);

private:
    // Field names and record types repeat in every record: the decoded records share one copy of each.
    QSet<QString> m_words;
};

} // namespace morvane
