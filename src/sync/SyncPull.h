#pragma once

#include <QCoroTask>

#include <memory>

namespace morvane {

class LinkStore;
struct SyncRemoteState;
struct SyncScope;

// Takes the record store's deletions, links and relations into the library: those the library lacks or
// holds older, each deletion and each batch of links or relations one store job. Announces a change
// when the library changed. With a scope, only the records of its keys are looked at.
QCoro::Task<void> pullRecords(LinkStore& store, const SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope);

} // namespace morvane
