#include "LibraryChangeJournal.h"

#include "LinkRow.h"
#include "SQLiteConnection.h"
#include "SQLiteStatement.h"
#include "SQLiteTransaction.h"
#include "StoreError.h"

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

namespace morvane {

Q_DECLARE_LOGGING_CATEGORY(lcSQLiteStore)

namespace {

enum Kind { linkKind = 0, relationKind = 1, deletionKind = 2, everythingKind = 3 };

// AUTOINCREMENT: a number is never given twice, even after the latest row was replaced, so a reader
// that stopped at a number misses nothing written after it.
const QString createTable =
    QStringLiteral("CREATE TABLE IF NOT EXISTS library_changes (seq INTEGER PRIMARY KEY AUTOINCREMENT, kind "
                   "INTEGER NOT NULL, "
                   "first TEXT NOT NULL, second TEXT NOT NULL DEFAULT '', UNIQUE (kind, first, second))");

// Moves the key to a new number. A delete and a plain insert rather than INSERT OR REPLACE: a trigger
// takes the conflict rule of the statement that fired it, and under INSERT OR IGNORE (how a remote
// relation is written) a replace would leave the key at its old number.
QString note(int kind, const QString& first, const QString& second = QStringLiteral("''"))
{
    const QString values =
        QString::number(kind) + QStringLiteral(", ") + first + QStringLiteral(", ") + second;
    return QStringLiteral("DELETE FROM library_changes WHERE kind = %1 AND first = %2 AND second = %3; "
                          "INSERT INTO library_changes (kind, first, second) VALUES (%4);")
        .arg(QString::number(kind), first, second, values);
}

struct Trigger {
    QString name;
    QString event;
    QString body;
};

const QList<Trigger>& triggers()
{
    static const QList<Trigger> all = {
        {QStringLiteral("library_changes_link_insert"), QStringLiteral("AFTER INSERT ON links"),
         note(linkKind, QStringLiteral("new.id"))},
        {QStringLiteral("library_changes_link_update"), QStringLiteral("AFTER UPDATE ON links"),
         note(linkKind, QStringLiteral("old.id")) + note(linkKind, QStringLiteral("new.id"))},
        {QStringLiteral("library_changes_link_delete"), QStringLiteral("AFTER DELETE ON links"),
         note(linkKind, QStringLiteral("old.id"))},
        {QStringLiteral("library_changes_tag_insert"), QStringLiteral("AFTER INSERT ON link_tags"),
         note(linkKind, QStringLiteral("new.link_id"))},
        {QStringLiteral("library_changes_tag_update"), QStringLiteral("AFTER UPDATE ON link_tags"),
         note(linkKind, QStringLiteral("old.link_id")) + note(linkKind, QStringLiteral("new.link_id"))},
        {QStringLiteral("library_changes_tag_delete"), QStringLiteral("AFTER DELETE ON link_tags"),
         note(linkKind, QStringLiteral("old.link_id"))},
        // A renamed tag changes every link that carries it.
        {QStringLiteral("library_changes_tag_rename"), QStringLiteral("AFTER UPDATE OF name ON tags"),
         QStringLiteral("DELETE FROM library_changes WHERE kind = 0 AND second = '' AND first IN (SELECT "
                        "link_id FROM link_tags WHERE tag_id = new.id); INSERT INTO library_changes (kind, "
                        "first, second) SELECT 0, link_id, '' FROM link_tags WHERE tag_id = new.id;")},
        {QStringLiteral("library_changes_relation_insert"), QStringLiteral("AFTER INSERT ON link_relations"),
         note(relationKind, QStringLiteral("new.from_link_id"), QStringLiteral("new.to_link_id"))},
        {QStringLiteral("library_changes_relation_update"), QStringLiteral("AFTER UPDATE ON link_relations"),
         note(relationKind, QStringLiteral("old.from_link_id"), QStringLiteral("old.to_link_id")) +
             note(relationKind, QStringLiteral("new.from_link_id"), QStringLiteral("new.to_link_id"))},
        {QStringLiteral("library_changes_relation_delete"), QStringLiteral("AFTER DELETE ON link_relations"),
         note(relationKind, QStringLiteral("old.from_link_id"), QStringLiteral("old.to_link_id"))},
        {QStringLiteral("library_changes_deletion_insert"), QStringLiteral("AFTER INSERT ON deleted_records"),
         note(deletionKind, QStringLiteral("new.record_type"), QStringLiteral("new.record_name"))},
        {QStringLiteral("library_changes_deletion_update"), QStringLiteral("AFTER UPDATE ON deleted_records"),
         note(deletionKind, QStringLiteral("old.record_type"), QStringLiteral("old.record_name")) +
             note(deletionKind, QStringLiteral("new.record_type"), QStringLiteral("new.record_name"))},
        {QStringLiteral("library_changes_deletion_delete"), QStringLiteral("AFTER DELETE ON deleted_records"),
         note(deletionKind, QStringLiteral("old.record_type"), QStringLiteral("old.record_name"))},
    };
    return all;
}

QString jsonTexts(const QStringList& texts)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
}

qint64 pragma(SQLiteConnection& connection, const QString& name)
{
    SQLiteStatement statement = connection.statement(QStringLiteral("PRAGMA ") + name);
    return statement.step() ? statement.int64(0) : -1;
}

} // namespace

void LibraryChangeJournal::migrate(SQLiteConnection& connection)
{
    try {
        inTransaction(connection, [&] {
            connection.execute(createTable);
            LibraryChangeJournal(connection).createTriggers();
        });
    } catch (const StoreError& error) {
        // Without it every sync pass reads the whole library, as it always may.
        qCWarning(lcSQLiteStore) << "The library has no change journal:" << error.message();
    }
}

bool LibraryChangeJournal::suspend()
{
    SQLiteStatement present =
        m_connection.statement(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'library_changes'"));
    if (!present.step())
        return false;
    for (const Trigger& trigger : triggers())
        m_connection.execute(QStringLiteral("DROP TRIGGER IF EXISTS ") + trigger.name);
    return true;
}

void LibraryChangeJournal::createTriggers()
{
    for (const Trigger& trigger : triggers())
        m_connection.execute(QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 %2 BEGIN %3 END")
                                 .arg(trigger.name, trigger.event, trigger.body));
}

void LibraryChangeJournal::resume()
{
    createTriggers();
    // What each key was noted for no longer matters: one row says that every key changed.
    m_connection.execute(QStringLiteral("DELETE FROM library_changes"));
    m_connection.execute(QStringLiteral("INSERT INTO library_changes (kind, first) VALUES (?1, '')"),
                         {SQLiteValue::integer(everythingKind)});
}

LibraryChangeJournal::Changes LibraryChangeJournal::changesSince(std::optional<qint64> since,
                                                                 qsizetype atMost)
{
    Changes changes;
    changes.othersCommits = pragma(m_connection, QStringLiteral("data_version"));
    changes.schemaVersion = pragma(m_connection, QStringLiteral("schema_version"));
    {
        SQLiteStatement present = m_connection.statement(QStringLiteral(
            "SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name = 'library_changes') OR "
            "(type = 'trigger' AND name LIKE 'library\\_changes\\_%' ESCAPE '\\')"));
        changes.complete = present.step() && present.int64(0) == triggers().size() + 1;
    }
    if (!changes.complete)
        return changes;
    {
        SQLiteStatement latest =
            m_connection.statement(QStringLiteral("SELECT max(seq) FROM library_changes"));
        changes.through = latest.step() ? latest.optionalInt64(0).value_or(0) : 0;
    }
    if (!since)
        return changes;
    SQLiteStatement changed = m_connection.statement(QStringLiteral(
        "SELECT kind, first, second FROM library_changes WHERE seq > ?1 AND seq <= ?2 LIMIT ?3"));
    const qint64 rows = atMost < unlimited ? qint64(atMost) + 1 : -1; // one more tells there are more
    changed.bind(
        {SQLiteValue::integer(*since), SQLiteValue::integer(changes.through), SQLiteValue::integer(rows)});
    for (qsizetype read = 0; changed.step(); ++read) {
        if (read == atMost) {
            changes.links.clear();
            changes.relations.clear();
            changes.deletedRecords.clear();
            changes.everything = true;
            break;
        }
        switch (changed.int64(0)) {
        case linkKind:
            changes.links.append(changed.text(1));
            break;
        case relationKind:
            changes.relations.append({changed.text(1), changed.text(2)});
            break;
        case deletionKind:
            changes.deletedRecords.append({changed.text(1), changed.text(2)});
            break;
        case everythingKind:
            changes.everything = true;
            break;
        }
    }
    return changes;
}

QList<LinkItem> LibraryChangeJournal::links(const QStringList& ids)
{
    if (ids.isEmpty())
        return {};
    return queryLinks(m_connection,
                      linkColumnsSql() +
                          QStringLiteral("FROM links WHERE links.id IN (SELECT value FROM json_each(?1)) "
                                         "ORDER BY links.updated_at ASC, links.title COLLATE NOCASE ASC"),
                      {jsonTexts(ids)});
}

QList<LinkRelation> LibraryChangeJournal::relationsOf(const QStringList& ids)
{
    if (ids.isEmpty())
        return {};
    return queryRelations(
        m_connection,
        QStringLiteral("SELECT id, from_link_id, to_link_id, created_at FROM link_relations WHERE rowid IN "
                       "(SELECT link_relations.rowid FROM json_each(?1) AS end CROSS JOIN link_relations ON "
                       "link_relations.from_link_id = end.value UNION SELECT link_relations.rowid FROM "
                       "json_each(?1) AS end CROSS JOIN link_relations ON link_relations.to_link_id = "
                       "end.value) ORDER BY created_at ASC"),
        {jsonTexts(ids)});
}

QList<DeletedRecord> LibraryChangeJournal::deletedRecords(const QList<std::pair<QString, QString>>& keys)
{
    QList<DeletedRecord> records;
    if (keys.isEmpty())
        return records;
    QJsonArray pairs;
    for (const auto& [type, name] : keys)
        pairs.append(QJsonArray{type, name});
    SQLiteStatement statement = m_connection.statement(QStringLiteral(
        "SELECT record_type, record_name, deleted_at FROM deleted_records WHERE (record_type, record_name) "
        "IN "
        "(SELECT json_extract(value, '$[0]'), json_extract(value, '$[1]') FROM json_each(?1)) ORDER BY "
        "deleted_at ASC"));
    statement.bind({QString::fromUtf8(QJsonDocument(pairs).toJson(QJsonDocument::Compact))});
    while (statement.step()) {
        if (const std::optional<QDateTime> deletedAt = parseLibraryDate(statement.text(2)))
            records.append(DeletedRecord{statement.text(0), statement.text(1), *deletedAt});
    }
    return records;
}

} // namespace morvane
