#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>
#include <utility>

namespace morvane {

class SQLiteConnection;

// Which links, relations and deletions changed since a point, kept in a table of the library itself.
// Triggers write it in the transaction of every change, whatever program or build makes it, so no
// committed change escapes it and a rolled-back one leaves nothing. Each key is kept once, at the
// number of its latest change, so the table never grows past the keys the library has held. A build
// that does not know the table leaves it alone; its triggers still keep it.
class LibraryChangeJournal {
public:
    explicit LibraryChangeJournal(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // Creates the table and its triggers when missing.
    static void migrate(SQLiteConnection& connection);
    // Makes the table and its triggers again when something removed them.
    void restore() { migrate(m_connection); }

    // For writes of a large part of the library inside one transaction (an import, an erase): suspend()
    // stops the triggers, which would note every row, and resume() starts them again and notes that
    // everything changed. suspend() is false when the library has no journal.
    bool suspend();
    void resume();

    // The keys changed after a point, as the library stores them (ids are not parsed).
    struct Changes {
        // The number of the latest change: the point to ask from next time.
        qint64 through = 0;
        // Moves only with other connections' commits: a reader that saw it move cannot tell what another
        // program did without triggers of its own making.
        qint64 othersCommits = 0;
        // Moves with every change of the schema, such as a trigger dropped.
        qint64 schemaVersion = 0;
        // False when the journal or one of its triggers is missing: no point can be trusted.
        bool complete = false;
        // Everything may have changed since the point (a large write went without the triggers), or more
        // changed than the reader asked to be listed: the lists are then empty.
        bool everything = false;
        QList<QString> links;
        QList<std::pair<QString, QString>> relations;      // from and to, as stored
        QList<std::pair<QString, QString>> deletedRecords; // record type and name
    };
    // The changes after `since`, or only where the journal stands when there is no point yet. Past
    // `atMost` changes they are not listed but answered as everything: a reader that would treat that many
    // as everything anyway is spared holding each key as a text (after a machine joins, every link).
    static constexpr qsizetype unlimited = std::numeric_limits<qsizetype>::max();
    Changes changesSince(std::optional<qint64> since, qsizetype atMost = unlimited);

    // The rows of keys, in the orders of the library's full reads (links by update time then title,
    // relations and deletions by their times); keys the library no longer holds are left out.
    // Ids are matched as stored, so the caller gives them in the forms it has.
    QList<LinkItem> links(const QStringList& ids);
    // Every relation with either end among the ids.
    QList<LinkRelation> relationsOf(const QStringList& ids);
    QList<DeletedRecord> deletedRecords(const QList<std::pair<QString, QString>>& keys);

private:
    void createTriggers();

    SQLiteConnection& m_connection;
};

} // namespace morvane
