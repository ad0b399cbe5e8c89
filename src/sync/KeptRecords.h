#pragma once

#include "sync/SyncRemoteState.h"

#include <QMap>
#include <QMultiHash>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace morvane {

// The decoded deletion, link and relation records a pass after a change starts from, by the name the
// store lists each under, and found also by what each of them names.
class KeptRecords {
public:
    void keep(const QString& name, RemoteRecord decoded);
    // Forgets the record under the name, answering what it was.
    std::optional<RemoteRecord> forget(const QString& name);

    const QMap<QString, RemoteRecord>& all() const { return m_records; }
    const RemoteRecord* find(const QString& name) const;
    // The names of the records of the link with the id, of the relation with the name, of every relation
    // with the link at either end, and of the deletion of a record.
    QStringList linkRecords(const QUuid& id) const;
    QStringList relationRecords(const QString& relationName) const;
    QStringList relationsAt(const QUuid& linkID) const;
    QStringList deletionRecords(const QString& type, const QString& name) const;

private:
    QStringList namesOf(const QString& key) const;

    QMap<QString, RemoteRecord> m_records;
    // The names of the records each key finds: "L" and a link's id, "R" and a relation's name, "E" and
    // either end of a relation, "D" and a deletion's type and name.
    QMultiHash<QString, QString> m_index;
};

} // namespace morvane
