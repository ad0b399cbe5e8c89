#pragma once

#include "store/SyncedLibrary.h"
#include "sync/SyncScope.h"

#include <QCoroTask>

#include <memory>
#include <optional>

namespace morvane {

class LinkStore;
class RemoteRecords;
struct SyncRemoteState;
struct SyncScope;

// Brings the record store up to the library: the deletions, links and relations it lacks or holds
// older, and the removal of the records those deletions and relations outdate. With a scope, only the
// library's rows of its keys are looked at.
// Given the library's side (read of the same scope, with nothing written since), it is not read again.
// In a whole pass the links are decided about from their summaries, and those that go up (or tie) read
// again in full a part at a time; a whole library it reads itself is decided about a part at a time as
// it is read (walkLibrary), holding only what goes up.
QCoro::Task<void> pushRecords(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope,
                              std::optional<LibrarySide> local = std::nullopt);

} // namespace morvane
