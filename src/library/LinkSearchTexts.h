#pragma once

#include "LinkSearchSeal.h"
#include "LinkSearchTextsCopy.h"
#include "foundation/MappedArray.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace morvane {

class SQLiteConnection;
struct SQLiteValue;

// The searchable texts of every link (title; url, type and notes) held in memory with ASCII letters
// lower-cased, for the texts too short for the trigram index: one pass over them finds the links that
// can match a run of one or two characters, where the library would read every row. They only pick
// candidates, so folding a little more than the search does costs nothing but a row the search then
// drops. Kept in step through the library's change journal, which names every link written by any
// program; without the journal they are not used.
//
// All of it lives in one buffer and two arrays of numbers, about the size of the texts themselves, each
// a mapping of its own that goes back to the system when released: a link costs no allocation of its
// own. A link written since the texts were read is read again and
// added at the end; what was kept of it before stays until the next full read, as a candidate the
// search drops (a deleted link's rowid may even name a newer row: the search's own LIKE decides).
//
// Reading them from the library takes a large library's whole row data (about 130 ms at 100,000
// links), longer than a user waits to type after opening the panel. So when they are given back, a copy
// of them goes to a file beside the library, marked with the journal's point and the file state the
// search index's seal vouches for and with a lineage written into the library at the same time; the
// next read takes that copy (a few milliseconds), checked whole against its checksum as it is read, and
// follows the journal from its point. A copy whose marks the library no longer bears (another library,
// a rebuilt file, a file put back from before the copy, a journal that went missing), a damaged one, or
// anything at its path that is not a regular file of ours, is passed over: the texts are read from the
// library instead.
class LinkSearchTexts {
public:
    explicit LinkSearchTexts(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // The rowids of the links whose title contains the run, and of the others whose url, type or
    // notes contain it, ASCII case aside, with perhaps a few more. A list that passes the limit stops
    // at limit + 1. Reads whatever the texts still lack first; nothing when they cannot be brought up
    // to date.
    struct Found {
        QList<qint64> inTitles;
        QList<qint64> inOtherTexts;
    };
    std::optional<Found> find(const QString& run, qsizetype limit);

    // Reads the next batch of links into memory, so that a large library is read in steps with other
    // work between them; true once all of them are in.
    bool loadStep();
    bool isLoaded() const { return m_through.has_value(); }
    // Gives the memory back, first writing the copy when it is missing or behind; the next find or
    // loadStep reads the texts again.
    void release();
    // Reads the next batch towards a copy when there is no copy the library still vouches for, and
    // writes it and gives the texts back once all are in; true when done (nothing was needed).
    bool makeCopyStep();
    // Where the copy of the library's texts is kept; empty for a library without a file.
    QString copyPath() const;
    // Gives the memory back and removes the copy without writing it: the links it holds are gone.
    void discard();

    // Makes the library's table for the lineage of the copy, with the rest of the schema: made later,
    // it would move the schema and with it the search index's seal.
    static void migrate(SQLiteConnection& connection);

private:
    void drop();
    // The copy's head, when the library still bears its marks and the file's size fits it.
    std::optional<LinkSearchTextsCopy::Head> usableCopyHead(LinkSearchTextsCopy& copy);
    std::optional<qint64> libraryLineage();
    bool readCopy();
    bool hasUsableCopy();
    void writeCopy();
    bool refresh();
    qsizetype rarestByte(const QByteArray& needle);
    void reload();
    // Appends the links of the statement's rows (rowid, title, url, type, notes).
    void append(const QString& sql, const QList<SQLiteValue>& parameters);

    SQLiteConnection& m_connection;
    // Where the journal stood when the texts were last brought up to date; none until every link is in.
    std::optional<qint64> m_through;
    // While a read in steps runs: where the journal stood when it began, and the last rowid read.
    std::optional<qint64> m_loadFrom;
    qint64 m_loadedThrough = 0;
    // Each link's folded title, a NUL, its url, type and notes each ended by U+0001, a NUL.
    MappedArray<char> m_texts;
    // Where each link's texts start in m_texts (ascending), and its rowid.
    MappedArray<qsizetype> m_starts;
    MappedArray<qint64> m_rowids;
    // How often each byte occurs in a sample of the texts; none until a search asks.
    std::optional<std::array<qsizetype, 256>> m_byteCounts;
    // Links read again since the last full read: each left its former texts behind.
    qsizetype m_superseded = 0;
    // Links read since the texts were taken from the copy; none when they were read from the library.
    std::optional<qsizetype> m_changedSinceCopy;
    // The file state the seal vouched for when the texts were read, which the copy is marked with; none
    // when it vouched for none (no copy is written then).
    std::optional<LinkSearchSeal::FileState> m_sealedAs;
    // Set by a reload that must read the library itself: the copy stands further back than the texts.
    bool m_copyPassedOver = false;
    // Whether it was said that what is at the copy's path is not a file of ours.
    bool m_refusalLogged = false;
};

} // namespace morvane
