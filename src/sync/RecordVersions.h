#pragma once

#include "foundation/MappedArray.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

namespace morvane {

// The version of each record, by the record's name, as a store gave them to keep: what a pass after a
// start asks the store's changes from. Names and versions are bytes in one buffer with an entry of
// fixed size for each, in mappings of their own: they are read for one pass and let go after it.
class RecordVersions {
public:
    // Names in any order, each once; sorted() before the first lookup.
    void append(QByteArrayView name, QByteArrayView version);
    void sort();

    qsizetype size() const { return qsizetype(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    QByteArrayView name(qsizetype index) const;
    QByteArrayView version(qsizetype index) const;
    // Where the name is, or none. A walk over names in order passes the index of the last one found as
    // a hint, and finds the next without a search.
    std::optional<qsizetype> find(QByteArrayView name, qsizetype hint = -1) const;
    void clear();

private:
    struct Entry {
        quint64 at;
        quint32 nameSize;
        quint32 versionSize;
    };
    QByteArrayView nameOf(const Entry& entry) const;

    MappedArray<char> m_bytes;
    MappedArray<Entry> m_entries;
};

} // namespace morvane
