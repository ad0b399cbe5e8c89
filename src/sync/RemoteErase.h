#pragma once

#include "sync/CloudRecord.h"

#include <QCoroTask>
#include <QList>

#include <chrono>
#include <functional>

namespace morvane {

class RemoteRecords;

// Empties the record store of every link, relation and deletion record, and waits until it lists none:
// another machine may push its library meanwhile, and a folder shared by a file-sync service may bring
// records back for a while.
class RemoteErase {
public:
    // Waits the given time between two checks.
    using Pause = std::function<QCoro::Task<void>(std::chrono::milliseconds)>;

    RemoteErase(RemoteRecords& remote, Pause pause);

    // Deletes, then checks up to attempts times with the pause between two checks; what the last check
    // still finds is deleted once more, and EraseRemoteDataError thrown when records are listed after.
    QCoro::Task<void> run(int attempts, std::chrono::milliseconds pause);

private:
    QCoro::Task<void> deleteAll();
    QCoro::Task<void> waitUntilEmpty(int attempts, std::chrono::milliseconds pause);
    // Each record by the name it is listed under, whether or not it reads as what its type holds.
    QCoro::Task<void> deleteListed(QList<CloudRecord> records);

    RemoteRecords& m_remote;
    Pause m_pause;
};

} // namespace morvane
