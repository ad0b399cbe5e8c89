#pragma once

#include "foundation/MappedArray.h"
#include "library/LibrarySyncPoint.h"
#include "sync/HeldName.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class RecordNames;

// The records a pass read and the library keeps for the next start, in the order they were read: the
// bytes of each one after the other in one buffer, with where each starts beside, in mappings of their
// own. A whole pass reads every record and keeps them only once it is done: held as one list of texts
// they were a few hundred bytes each in the heap all through the pass. So a record holds as little as
// gives it back whole:
// - its name as HeldName holds it, or, for a record of a complete answer listed from names that stay
//   (listedIn), where the name is among them;
// - its version, a file's stamp (five numbers, most of them small) held as numbers of as many bytes as
//   they need;
// - its kept bytes, unless they are what the pass's point keeps under its name (appendKeptByName):
//   those are made again as the record is kept.
class ChangedRecords {
public:
    // The names of a complete answer, in its order: a record added by name under one of them after this
    // refers to it there.
    void listedIn(std::shared_ptr<const RecordNames> names);
    void append(const QString& name, QByteArrayView version, QByteArrayView kept);
    void appendKeptByName(const QString& name, QByteArrayView version);
    // The last record added under the name, if it was added without its kept bytes, takes these.
    void keepBytesOfLast(const QString& name, QByteArrayView kept);
    qsizetype size() const { return qsizetype(m_starts.size()); }
    bool isEmpty() const { return m_starts.empty(); }
    // Each record in order, made for the call; `keptOf` gives the kept bytes of one added without them.
    using KeptOf = std::function<QByteArray(const QString& name)>;
    void forEach(const LibrarySyncPoint::RecordTaker& take, const KeptOf& keptOf = {}) const;

private:
    // One record's bytes read back; the views into the buffer.
    struct Read {
        quint8 flags = 0;
        std::optional<qsizetype> listed;
        QByteArrayView held;    // the held name, when not listed
        quint64 versionEnd = 0; // where the version's bytes end
        std::optional<QByteArrayView> kept;
    };
    Read read(quint64 at, QByteArray* version) const;
    bool isNamed(const Read& record, const HeldName& name) const;
    QString nameOf(const Read& record) const;
    void appendRecord(const HeldName& name, QByteArrayView version, std::optional<QByteArrayView> kept);
    void appendNumber(quint64 value);

    MappedArray<char> m_bytes;
    MappedArray<quint64> m_starts;
    std::shared_ptr<const RecordNames> m_listed;
    qsizetype m_nextListed = 0;
};

} // namespace morvane
