#pragma once

#include <QCoroTask>

#include <memory>

namespace morvane {

class LinkStore;
class RemoteRecords;
struct SyncRemoteState;
struct SyncScope;

// Brings the record store up to the library: the deletions, links and relations it lacks or holds
// older, and the removal of the records those deletions and relations outdate. With a scope, only the
// library's rows of its keys are looked at.
QCoro::Task<void> pushRecords(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope);

} // namespace morvane
