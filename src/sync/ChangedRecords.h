#pragma once

#include "foundation/MappedArray.h"
#include "library/LibrarySyncPoint.h"

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <limits>
#include <optional>

namespace morvane {

// The records a pass read and the library keeps for the next start, in the order they were read: each
// name, version and kept bytes in one buffer, with an entry of fixed size for each, in mappings of their
// own. A whole pass reads every record and keeps them only once it is done: held as one list of texts
// they were a few hundred bytes each in the heap all through the pass. A name that is an id, or two ids
// joined by '_', written as records write ids (nearly every link's and relation's) is held as the ids'
// bytes, less than half its text; any other name as its UTF-8 bytes. A record whose kept bytes are what
// the pass's point keeps under its name is added without them (appendKeptByName), and they are made
// again as the record is kept.
class ChangedRecords {
public:
    void append(const QString& name, QByteArrayView version, QByteArrayView kept);
    void appendKeptByName(const QString& name, QByteArrayView version);
    // The last record added under the name, if it was added without its kept bytes, takes these.
    void keepBytesOfLast(const QString& name, QByteArrayView kept);
    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    // Each record in order, made for the call; `keptOf` gives the kept bytes of one added without them.
    using KeptOf = std::function<QByteArray(const QString& name)>;
    void forEach(const LibrarySyncPoint::RecordTaker& take, const KeptOf& keptOf = {}) const;

private:
    static constexpr quint64 byName = std::numeric_limits<quint64>::max();
    struct Entry {
        quint64 at;
        quint64 keptAt; // byName: made again from the name
        quint32 nameSize;
        quint32 versionSize;
        quint32 keptSize;
        quint8 ids; // how many ids the name's bytes are, 0 for its text
    };
    // The bytes the name is held as, and how many ids they are.
    static QByteArray heldName(const QString& name, quint8& ids);
    static QString nameFrom(QByteArrayView held, quint8 ids);
    QByteArrayView nameOf(const Entry& entry) const;
    MappedArray<char> m_bytes;
    MappedArray<Entry> m_entries;
};

} // namespace morvane
