#pragma once

#include <QtGlobal>

namespace morvane {

class SQLiteConnection;

// Whether the search index may still trust the rowids it holds. The index points at rows of links by
// rowid, and links has no column that keeps it: a program that rebuilds the file (a dump restored into
// a new one, VACUUM) may give every row another rowid and copy the index unchanged, so that it names
// the wrong rows while it looks complete. Triggers see every write made through SQL, but none of these.
//
// The seal is taken whenever the library is known to be in our hands, and holds two values that such a
// rebuild cannot carry over together: the schema cookie, which VACUUM and every change of a table's
// definition advance, and a mark written both into the seal's table and into the file header's user
// version, which a dump does not copy. Reading both costs two header reads at open.
class LinkSearchSeal {
public:
    struct FileState {
        qint64 schemaVersion = 0;
        qint64 mark = 0;
        bool operator==(const FileState&) const = default;
    };

    // The file as its header describes it now.
    static FileState current(SQLiteConnection& connection);
    // Whether a seal was taken of exactly this state; false when none was ever taken.
    static bool holds(SQLiteConnection& connection, const FileState& state);
    // Takes the seal of the file as it now is, choosing a mark when the header has none; writes
    // nothing when the seal already holds. Run inside a transaction with the change it follows.
    static void take(SQLiteConnection& connection);
};

} // namespace morvane
