#include "sync/LibraryResetApplier.h"

#include "store/LinkStore.h"
#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>

#include <algorithm>

namespace morvane {

LibraryResetApplier::LibraryResetApplier(RemoteRecords& remote, std::shared_ptr<UserDefaults> defaults)
    : m_remote(remote)
    , m_defaults(std::move(defaults))
{
}

bool LibraryResetApplier::isDue(const std::optional<LibraryReset>& reset) const
{
    return reset && LibraryReset::shouldApply(*reset, *m_defaults);
}

QCoro::Task<void> LibraryResetApplier::apply(LinkStore& store, const std::optional<LibraryReset>& reset)
{
    if (!isDue(reset))
        co_return;
    std::optional<bool> completed = LibraryReset::completedPass(*m_defaults);
    if (!completed) {
        const bool synced = co_await syncedBefore(store);
        LibraryReset::setCompletedPass(*m_defaults, synced);
        completed = synced;
    }
    // A machine joining sync keeps its library: it took no part in the erase the marker stands for.
    if (!*completed) {
        LibraryReset::saveAcknowledged(*reset, *m_defaults);
        co_return;
    }
    co_await store.eraseAll();
    store.notifyDidMutate(false);
    LibraryReset::saveAcknowledged(*reset, *m_defaults);
}

// Sync was on here before this machine kept whether a pass completed: it was an older build's, or its
// settings were copied or written while the application was stopped. Only what an older build's passes
// leave behind counts: a marker it acknowledged, or a record of this library's (a link, a relation or
// a deletion, pushed here or pulled from here) in the store. A switch alone proves nothing, and without
// evidence the library is kept: an erase it missed is undone at worst, never a library lost.
QCoro::Task<bool> LibraryResetApplier::syncedBefore(LinkStore& store)
{
    if (LibraryReset::hasAnyAcknowledged(*m_defaults))
        co_return true;
    const std::shared_ptr<const SyncScope> everything;
    const SyncedLibrary::State local = co_await readLibrary(store, everything);
    if (local.links.isEmpty() && local.relations.isEmpty() && local.deletions.isEmpty())
        co_return false;
    const SyncRemoteState remote = co_await SyncRemoteState::fetch(m_remote);
    const auto listed = [&](const QString& name) { return remote.listed(name); };
    const bool found =
        std::any_of(local.links.cbegin(), local.links.cend(),
                    [&](const LinkItem& link) { return listed(RecordFormats::linkRecordName(link)); }) ||
        std::any_of(local.relations.cbegin(), local.relations.cend(),
                    [&](const LinkRelation& relation) {
                        return listed(RecordFormats::relationRecordName(relation));
                    }) ||
        std::any_of(local.deletions.cbegin(), local.deletions.cend(), [&](const DeletedRecord& deleted) {
            return RecordFormats::isSyncedDeletion(deleted) &&
                   remote.deletionsByName.contains(RecordFormats::tombstoneRecordName(deleted));
        });
    co_return found;
}

} // namespace morvane
