#pragma once

#include "LinkSearchSeal.h"
#include "LinkSearchTexts.h"
#include "LinkTagsAndCounts.h"
#include "model/LinkItem.h"

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

class SQLiteConnection;
struct SQLiteValue;

// A trigram index of the links' own searchable columns (title, url, type, notes) that narrows a typed
// search to the rows that can match, and an index of titles without regard to case that walks the rows
// in the order a search lists them. The search itself stays the LIKE of the library's statement: the
// index only picks the rows it runs on, so the answer is the same row for row.
//
// The trigram index reads its texts from the links table (external content) and triggers keep it in
// step with every write, including the writes of other connections and of builds that know nothing of
// it. A library opened before it existed is indexed in batches (buildStep) while searches run the plain
// statement; rows are indexed exactly when their rowid is at most the stored watermark, which the
// triggers and the batches both respect.
class LinkSearchIndex {
public:
    explicit LinkSearchIndex(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // Creates the index, its watermark and its triggers when missing; an empty library is indexed at
    // once. An index the seal no longer vouches for (opened: the file as it was found, before any
    // migration) is emptied and built again in steps; the caller takes the seal again once every
    // migration is done. Without the trigram tokenizer in this SQLite the library simply has no index.
    static void migrate(SQLiteConnection& connection, const LinkSearchSeal::FileState& opened);

    // True once every row is indexed and the title order exists; never false again afterwards.
    bool isReady();
    // Indexes the next batch of rows not yet indexed; true when nothing is left.
    bool buildStep();

    // For writes of a large part of the library inside one transaction: suspend() empties the index and
    // stops the triggers, resume() indexes every row again at once, which costs less than keeping the
    // index in step row by row. suspend() is false when the library has no index.
    bool suspend();
    void resume();

    // While a library is filled over many transactions (LibraryMerge::startFilling), the index stays
    // suspended and its build waits: the fill's end indexes every row at once.
    void holdBuild(bool held) { m_buildHeld = held; }

    // The page the library's search lists for the trimmed, non-empty text, in its order, or nothing
    // when the index is not ready: the caller then runs the plain statement. A text with no run of
    // three characters between wildcards is listed by the title walk alone.
    std::optional<QList<LinkItem>> search(const QString& text);

    // The links' texts that answer the texts too short for the index, read in steps ahead of the first
    // such search (true once all are in), and given back.
    bool loadShortTextsStep() { return m_texts.loadStep(); }
    void releaseShortTexts() { m_texts.release(); }
    bool makeShortTextsCopyStep() { return m_texts.makeCopyStep(); }
    // After an erase: no copy of the texts of links that are gone stays beside the library.
    void discardShortTexts() { m_texts.discard(); }
    // The tags' names by id, kept for the connection's readers of link rows.
    TagNamesById& tagNames() { return m_tagNames; }

    static constexpr int pageSize = 200;

private:
    std::optional<QList<qint64>> searchPage(const QString& text);
    void setIndexedThrough(qint64 rowid);
    QList<qint64> rowids(const QString& sql, const QList<SQLiteValue>& parameters);

    // The page of a text with no run of three characters between wildcards, from the candidates the
    // texts in memory give; nothing when they give too many to sort.
    std::optional<QList<qint64>> shortTextPage(const QString& text, const QString& like);
    // The matches outside the titles, in the search's order, walking the titles in order.
    QList<qint64> otherMatchesWalk(const QString& like, qsizetype count);

    SQLiteConnection& m_connection;
    bool m_ready = false;
    bool m_buildHeld = false;
    LinkSearchTexts m_texts{m_connection};
    TagNamesById m_tagNames{m_connection};
};

} // namespace morvane
