#pragma once

#include "foundation/MappedArray.h"
#include "library/LibrarySyncPoint.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

namespace morvane {

// The records a pass read and the library keeps for the next start, in the order they were read: each
// name (as UTF-8), version and kept bytes in one buffer, with an entry of fixed size for each, in
// mappings of their own. A whole pass reads every record and keeps them only once it is done: held as
// one list of texts they were a few hundred bytes each in the heap all through the pass.
class ChangedRecords {
public:
    void append(const QString& name, QByteArrayView version, QByteArrayView kept);
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    // Each record in order, made for the call.
    void forEach(const LibrarySyncPoint::RecordTaker& take) const;

private:
    struct Entry {
        quint64 at;
        quint32 nameSize;
        quint32 versionSize;
        quint32 keptSize;
    };
    MappedArray<char> m_bytes;
    MappedArray<Entry> m_entries;
};

} // namespace morvane
