#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace morvane {

class SQLiteConnection;

// Where the last completed sync pass left the record store, kept in the library so that the first pass
// after a start reads only the records that changed since: the place the records were read from, the
// library's change journal and schema as the pass found them, and for each record its version (what
// tells one version of it from another without reading it) and what the pass keeps of it. The values
// are the sync's own and opaque here. A build that does not know the tables leaves them alone.
class LibrarySyncPoint {
public:
    explicit LibrarySyncPoint(SQLiteConnection& connection)
        : m_connection(connection)
    {
    }

    // Made with the rest of the schema when the library opens: made later, during a pass, it would move
    // the schema and with it the search index's seal.
    static void migrate(SQLiteConnection& connection);

    struct Record {
        QString name;
        QByteArray version;
        QByteArray kept;
    };
    struct Point {
        QByteArray place;
        qint64 journalThrough = 0;
        qint64 schemaVersion = 0;
    };

    // None when no completed pass left a point.
    std::optional<Point> point();
    QList<Record> records();
    // Each kept record as the library holds it, the views valid for the call only, in the order of
    // their names; then what reading them left in the connection's page cache is given back (it is read
    // once a run).
    void eachRecord(
        const std::function<void(QByteArrayView name, QByteArrayView version, QByteArrayView kept)>& record);
    // A point that moved on: the records given replace those of their names, the removed are dropped;
    // with `everything`, the given records are all there are.
    void keep(const Point& point, const QList<Record>& records, const QStringList& removed, bool everything);
    // As keep, the records handed one at a time to the taker `records` is given, for a caller that holds
    // them in a form of its own.
    using RecordTaker = std::function<void(const Record&)>;
    using RecordWalk = std::function<void(const RecordTaker&)>;
    void keep(const Point& point, const RecordWalk& records, const QStringList& removed, bool everything);
    // No point: the next pass after a start looks at everything.
    void forget();

private:
    SQLiteConnection& m_connection;
};

} // namespace morvane
