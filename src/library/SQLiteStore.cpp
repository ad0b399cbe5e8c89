#include "SQLiteStore.h"

#include "LibrarySchema.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"

#include <QLoggingCategory>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcSQLiteStore, "SQLiteStore")

namespace {
QString resolveDatabasePath(const std::optional<QString>& given)
{
    if (given)
        return *given;
    const QString folder = dataDirectory();
    if (const std::optional<QString> problem = ensurePrivateDirectory(folder)) {
        qCWarning(lcSQLiteStore) << "Could not prepare the library folder" << privateValue(folder);
        throw Error(genericOperationText(*problem));
    }
    return SQLiteStore::defaultDatabasePath();
}
} // namespace

SQLiteStore::SQLiteStore(const std::optional<QString>& databasePath, std::shared_ptr<const Clock> clock)
    : m_databasePath(resolveDatabasePath(databasePath))
    , m_connection(SQLiteConnection::open(m_databasePath))
    , m_clock(std::move(clock))
{
    LibrarySchema::migrate(m_connection);
}

SQLiteStore::~SQLiteStore()
{
    LibrarySchema::refreshStatistics(m_connection);
}

QString SQLiteStore::defaultDatabasePath()
{
    return dataDirectory() + QStringLiteral("/Morvane.sqlite");
}

} // namespace morvane
