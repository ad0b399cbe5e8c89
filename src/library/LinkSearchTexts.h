#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace morvane {

class SQLiteConnection;

// The searchable texts of every link (title; url, type and notes) held in memory with ASCII letters
// lower-cased, for the texts too short for the trigram index: one pass over them finds the links that
// can match a run of one or two characters, where the library would read every row. They only pick
// candidates, so folding a little more than the search does costs nothing but a row the search then
// drops. Kept in step through the library's change journal, which names every link written by any
// program; without the journal they are not used.
class LinkSearchTexts {
public:
    explicit LinkSearchTexts(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // The stored ids of the links whose title contains the run, and of the others whose url, type or
    // notes contain it, ASCII case aside. A list that passes the limit stops at limit + 1. Nothing when
    // the texts cannot be brought up to date.
    struct Found {
        QStringList inTitles;
        QStringList inOtherTexts;
    };
    std::optional<Found> find(const QString& run, qsizetype limit);

private:
    struct Entry {
        QByteArray id;
        qsizetype start = 0;
        qsizetype titleEnd = 0;
        qsizetype end = 0;
        bool live = true;
    };

    bool refresh();
    void reload();
    // Appends the links of the statement's rows (id, title, url, type, notes).
    void append(const QString& sql, const QString& parameter = {});
    void drop(const QByteArray& id);
    void compact();

    SQLiteConnection& m_connection;
    // Where the journal stood when the texts were last brought up to date.
    std::optional<qint64> m_through;
    // Each link's folded title, a NUL, its url, type and notes each ended by U+0001, a NUL.
    std::string m_texts;
    std::vector<Entry> m_entries; // in the order of m_texts
    QHash<QByteArray, qsizetype> m_entryOf;
    qsizetype m_deadBytes = 0;
};

} // namespace morvane
