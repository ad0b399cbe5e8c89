#pragma once

#include "LibraryWrites.h"
#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

class LibraryReads;
class LinkSearchIndex;
class SQLiteConnection;

// The writes of records that come from elsewhere: the sync pull, a backup import, the erase.
class LibraryMerge {
public:
    LibraryMerge(SQLiteConnection& connection, LibraryReads& reads, LibraryWrites& writes,
                 LinkSearchIndex& searchIndex)
        : m_connection(connection)
        , m_reads(reads)
        , m_writes(writes)
        , m_searchIndex(searchIndex)
    {
    }

    // Applies many remote links in a row with the statements, the tag ids and the check whether any
    // link was ever deleted here kept from one link to the next. Lives within one transaction of the
    // caller (or none), during which nothing else writes the library.
    // Each link is written in a savepoint of its own unless `eachUndoable` is false: then a link that
    // throws may leave part of its rows, and the caller rolls back the whole transaction. A savepoint
    // costs each link a copy of every page it changes.
    class RemoteLinks {
    public:
        explicit RemoteLinks(LibraryMerge& merge, bool eachUndoable = true);
        ~RemoteLinks();
        RemoteLinks(const RemoteLinks&) = delete;
        RemoteLinks& operator=(const RemoteLinks&) = delete;

        // As applyRemoteLink: each link undone wholly when it throws (see eachUndoable).
        void apply(const LinkItem& remote, bool winsEqualTime = false);
        // Once the caller's transaction committed: the tag ids looked up stay known for the next links
        // applied, as long as nothing else wrote the library meanwhile.
        void committed();

    private:
        struct Statements;
        void write(const LinkItem& remote, const QString& idText, bool stored);

        LibraryMerge& m_merge;
        std::unique_ptr<Statements> m_statements;
        bool m_tombstones = false;
        bool m_eachUndoable = true;
        LinkItem m_local;
    };

    void backfillFileFields(const LinkItem& remote, const LinkItem& local);
    void deleteLinkRows(const QString& recordName);
    // Last writer wins on the descriptive fields, and at equal update times the remote copy when the
    // caller says it wins the tie; a local tombstone beats the remote copy.
    void applyRemoteLink(const LinkItem& remote, bool winsEqualTime = false);
    // A relation's deletion is passed over when the pair was related after it.
    void applyRemoteDeletion(const DeletedRecord& record);
    // Skipped when tombstoned at or after its making (an older tombstone is cleared), to itself, or when
    // either end is not in the library.
    void applyRemoteRelation(const LinkRelation& relation);
    // One transaction; the statistics are refreshed once it commits.
    void importRecords(const QList<LinkItem>& links, const QList<LinkRelation>& relations);
    void eraseAll();

    // Filling a library that holds no link with many links over many transactions, as a machine joining
    // with an empty library does: startFilling() drops the indexes of the links and their tags but their
    // keys and suspends the search index, so that each link costs a few appends rather than a random
    // place in every index, and finishFilling() makes them again and indexes every row at once. Rows,
    // change journal (its triggers stay) and search answers end as writing each link with every index
    // in place leaves them. Meanwhile other operations still find every row, through slower plans.
    // startFilling() gives the statements that make the indexes again, or nothing when the library
    // holds a link. A library left unfinished (the process ended) gets its indexes back when opened.
    std::optional<QStringList> startFilling();
    void finishFilling(const QStringList& indexes);

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
    LinkSearchIndex& m_searchIndex;
    // The tag ids remote links looked up, and the library's change stamp when the links that looked
    // them up were committed: any other write since may have removed a tag.
    LibraryWrites::TagIds m_remoteTagIds;
    std::optional<std::pair<qint64, qint64>> m_remoteTagIdsAt;
};

} // namespace morvane
