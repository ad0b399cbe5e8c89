#pragma once

#include "sync/CloudRecord.h"

#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <optional>

namespace morvane {

// Reads a record file's document in one walk over its bytes, straight into the record: the shape every
// record file has (an object of "recordType", "recordName", "changeTag" and "fields", each field an
// object of one typed value). A sync pass over a large folder reads every file, and building a general
// JSON tree of each first cost more than reading the files.
// It answers a record only where the general JSON reading would answer the same one; anything else
// (another shape, a key named twice, text that is not strict UTF-8, a number it does not read exactly as
// that reading would) it leaves to the general reading, and answers none.
class RecordDocumentReader {
public:
    // `words` holds the one copy of the record types and field names the records share.
    explicit RecordDocumentReader(QSet<QString>& words);

    std::optional<CloudRecord> read(QByteArrayView bytes);

private:
    QSet<QString>& m_words;
};

} // namespace morvane
