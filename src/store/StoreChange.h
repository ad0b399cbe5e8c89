#pragma once

#include <QCoroTask>
#include <QFuture>
#include <QString>

#include <functional>

class QObject;

namespace morvane {

// Waits for a user's change to the store on behalf of a view model (owner). True once it is written
// while owner is still there; false when it failed, after report(message) while owner is still
// there, or when owner has gone meanwhile: the caller then stops without touching it.
QCoro::Task<bool> changeStoreFor(QObject* owner, QFuture<void> change,
                                 std::function<void(const QString&)> report);

} // namespace morvane
