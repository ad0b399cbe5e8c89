#pragma once

#include "foundation/Error.h"

#include <QString>

struct sqlite3;

namespace morvane {

// The failure of a database call. It carries the SQLite message of the connection at that moment and
// no description of its own: the user sees the generic operation text with the message as detail.
class StoreError : public Error {
public:
    enum class Kind { openDatabase, prepare, step, bind, bindBlob };

    StoreError(Kind kind, QString message);

    // The connection's current message, or "Unknown SQLite error" without a connection.
    static StoreError fromConnection(Kind kind, sqlite3* db);

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_message;
};

} // namespace morvane
