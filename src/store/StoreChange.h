#pragma once

#include <QCoroTask>
#include <QString>

#include <functional>

class QObject;

namespace morvane {

class LinkStore;
class SQLiteStore;

// Runs a user's change on the store for a view model (owner). True once it is written while owner is
// still there; false when it failed, after report(message) while owner is still there, or when owner
// has gone meanwhile: the caller then stops without touching it.
QCoro::Task<bool> changeStoreFor(QObject* owner, LinkStore& store, std::function<void(SQLiteStore&)> change,
                                 std::function<void(const QString&)> report);

} // namespace morvane
