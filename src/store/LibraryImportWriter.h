#pragma once

#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QHash>
#include <QList>
#include <QString>

namespace morvane {

class SQLiteStore;

// The writes of an import, with the same effect as SQLiteStore::importRecords: each link revived,
// written over its row (not this machine's evidence) with the file's tags; each relation revived and
// written, an existing pair taking the file's creation time. The record-by-record writes prepare every
// statement anew, which dominates a backup of thousands of items; this writer sends the rows in
// multi-row statements instead. The caller holds the transaction.
class LibraryImportWriter {
public:
    explicit LibraryImportWriter(SQLiteStore& store)
        : m_store(store)
    {
    }

    void write(const QList<LinkItem>& links, const QList<LinkRelation>& relations);

private:
    void writeLinks(const QList<LinkItem>& links);
    void writeTags(const QList<LinkItem>& links);
    void writeRelations(const QList<LinkRelation>& relations);
    QString tagID(const QString& name);

    SQLiteStore& m_store;
    QHash<QString, QString> m_tagIDs;
};

} // namespace morvane
