#pragma once

#include <QCoroTask>

#include <memory>

namespace morvane {

class LinkStore;
class RemoteRecords;
struct SyncRemoteState;
struct SyncScope;

// Takes the record store's deletions, links and relations into the library: those the library lacks or
// holds older, each deletion and each batch of links or relations one store job. Announces a change
// when the library changed. With a scope, only the records of its keys are looked at.
// Links whose fields a decision compares are read again through the record store.
QCoro::Task<void> pullRecords(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope);

} // namespace morvane
