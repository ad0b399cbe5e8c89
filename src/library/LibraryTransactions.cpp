#include "LibraryTransactions.h"

#include "foundation/Logging.h"

#include <QLoggingCategory>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcLibraryTransactions, "SQLiteStore")

void LibraryTransactions::truncateLog() noexcept
{
    if (m_connection.inTransaction())
        return;
    try {
        m_connection.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    } catch (const std::exception& error) {
        qCWarning(lcLibraryTransactions)
            << "Could not truncate the library's write-ahead log:" << error.what();
    }
}

} // namespace morvane
