#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace morvane {

// Record names in sorted order, held in one buffer: a name costs its UTF-8 bytes and an offset, not a
// string of its own, so that a listing of a large store kept between passes stays small. Names are
// made as strings only when asked for.
class RecordNames {
public:
    RecordNames() = default;
    // The names must be sorted (as QString orders them).
    explicit RecordNames(const QStringList& sorted);

    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    QString at(qsizetype index) const;
    // The name of the record's file, encoded for the file system, in the buffer given: kept from one call
    // to the next, so that a walk over the names makes no string for each.
    const char* fileName(qsizetype index, QByteArray& buffer) const;
    // The first name after the given one, as an index (size() when none).
    qsizetype upperBound(const QString& name) const;
    bool contains(const QString& name) const;

private:
    QByteArrayView bytes(qsizetype index) const;

    QByteArray m_bytes;
    QList<quint32> m_ends; // where each name's bytes end
};

} // namespace morvane
