#pragma once

#include "LibraryWrites.h"
#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace morvane {

class LibraryReads;
class SQLiteConnection;

// The writes of records that come from elsewhere: the sync pull, a backup import, the erase.
// SQLiteStore documents each; this class only holds their statements and merge rules.
class LibraryMerge {
public:
    LibraryMerge(SQLiteConnection& connection, LibraryReads& reads, LibraryWrites& writes)
        : m_connection(connection)
        , m_reads(reads)
        , m_writes(writes)
    {
    }

    void backfillFileFields(const LinkItem& remote, const LinkItem& local);
    void deleteLinkRows(const QString& recordName);
    void applyRemoteLink(const LinkItem& remote, bool winsEqualTime);
    void applyRemoteDeletion(const DeletedRecord& record);
    void applyRemoteRelation(const LinkRelation& relation);
    void importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations);
    void eraseAll();

private:
    // The rows of an import, written inside its transaction.
    void importLinks(const QList<LinkItem>& links);
    void importRelations(const QList<LinkRelation>& relations);
    // Drops the tables' indexes other than those of their keys and returns the statements that make
    // them again.
    QStringList dropIndexes(const QStringList& tables);

    SQLiteConnection& m_connection;
    LibraryReads& m_reads;
    LibraryWrites& m_writes;
};

} // namespace morvane
